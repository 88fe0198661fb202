// The page's search as people type Korean and Latin names (run by node).
import assert from 'node:assert/strict';
import { matches, searchable, initialOf } from '../../web/page/search.js';

const text = searchable('그대에게 (Live) - SHC.IMS\n작사 김철수');
const found = (q) => matches(q, text);

// Initial consonants alone, by the syllable formula, and mixed with syllables.
assert.equal(initialOf('그'), 'ㄱ');
assert.equal(initialOf('힣'), 'ㅎ');
assert.equal(initialOf('A'), null);
for (const q of ['ㄱㄷㅇㄱ', 'ㄷㅇ', 'ㄱ대ㅇ게', 'ㄱㅊㅅ']) assert.ok(found(q), q);
for (const q of ['ㄱㄷㅇㄴ', 'ㄴ', 'ㄷㄱ']) assert.ok(!found(q), q);
// Whole syllables, and the last one still being composed.
for (const q of ['그대', '대에게', '그대에ㄱ', '그대엑', '김철']) assert.ok(found(q), q);
for (const q of ['극', '그댁', '대게']) assert.ok(!found(q), q);
assert.ok(matches('달', searchable('닭')));
assert.ok(matches('닭', searchable('달걀')));
// Latin without case; spaces around the query do not count; an empty query finds all.
for (const q of ['shc', 'SHC.ims', 'live', ' LiVe ', '']) assert.ok(found(q), q);
assert.ok(!found('shd'));
console.log('search: ok');
