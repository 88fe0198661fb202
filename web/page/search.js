// Finding a song as people type its name: Latin without case, Hangul by
// syllables or by initial consonants alone (ㄱㄷㅇㄱ finds 그대에게), and a
// last syllable still being composed (그대에ㄱ, 그대에게 typed as 그대엑)
// matching what it begins.

// The 19 initial consonants in syllable order, as compatibility jamo (what
// a keyboard types alone).
const INITIALS = 'ㄱㄲㄴㄷㄸㄹㅁㅂㅃㅅㅆㅇㅈㅉㅊㅋㅌㅍㅎ';
// Final consonants by index (0: none), and how each splits when the next
// syllable takes its last part as its initial (닭 typed on the way to 달걀).
const FINALS = ['', 'ㄱ', 'ㄲ', 'ㄳ', 'ㄴ', 'ㄵ', 'ㄶ', 'ㄷ', 'ㄹ', 'ㄺ', 'ㄻ', 'ㄼ', 'ㄽ', 'ㄾ', 'ㄿ', 'ㅀ', 'ㅁ', 'ㅂ', 'ㅄ',
                'ㅅ', 'ㅆ', 'ㅇ', 'ㅈ', 'ㅊ', 'ㅋ', 'ㅌ', 'ㅍ', 'ㅎ'];
const SPLIT_FINALS = { 3: [1, 'ㅅ'], 5: [4, 'ㅈ'], 6: [4, 'ㅎ'], 9: [8, 'ㄱ'], 10: [8, 'ㅁ'], 11: [8, 'ㅂ'], 12: [8, 'ㅅ'],
                       13: [8, 'ㅌ'], 14: [8, 'ㅍ'], 15: [8, 'ㅎ'], 18: [17, 'ㅅ'] };
const FIRST = 0xac00, LAST = 0xd7a3;

const isSyllable = (code) => code >= FIRST && code <= LAST;
export const initialOf = (ch) => {
    const code = ch.codePointAt(0);
    return isSyllable(code) ? INITIALS[Math.floor((code - FIRST) / 588)] : null;
};
const isInitial = (ch) => INITIALS.includes(ch);

// One character of the query against one of the text.
function same(q, c) {
    if (q === c) return true;
    if (isInitial(q)) return initialOf(c) === q;
    return false;
}

// The last query character may be a syllable still being typed: one
// without a final matches any syllable with its initial and vowel (그 in
// 극); one with a final matches the syllable without it when the next
// character begins with that final (엑 in 에게), or one whose final grows
// from it (달 in 닭).
function lastMatches(q, text, at) {
    const c = text[at];
    if (same(q, c)) return true;
    const qc = q.codePointAt(0), cc = c.codePointAt(0);
    if (!isSyllable(qc) || !isSyllable(cc)) return false;
    const qFinal = (qc - FIRST) % 28, qBase = qc - qFinal, cFinal = (cc - FIRST) % 28;
    if (qFinal === 0) return cc - cFinal === qBase;
    if (cc - cFinal === qBase && SPLIT_FINALS[cFinal]?.[0] === qFinal) return true;   // 달 on its way to 닭
    const next = text[at + 1];
    if (!next) return false;
    const [keep, moved] = SPLIT_FINALS[qFinal] || [0, FINALS[qFinal]];
    return cc === qBase + keep && initialOf(next) === moved;
}

// The text made ready once for many queries.
export const searchable = (text) => Array.from((text || '').normalize('NFC').toLowerCase());

// The query made ready once for many texts.
export const searchQuery = (typed) => searchable((typed || '').trim());

// Whether the query (typed text, or made ready by searchQuery) is found in
// the searchable text.
export function matches(query, text) {
    const q = typeof query === 'string' ? searchQuery(query) : query;
    if (!q.length) return true;
    for (let at = 0; at + q.length <= text.length; at++) {
        let i = 0;
        while (i < q.length - 1 && same(q[i], text[at + i])) i++;
        if (i === q.length - 1 && lastMatches(q[i], text, at + i)) return true;
    }
    return false;
}
