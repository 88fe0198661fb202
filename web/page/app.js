// The page: wires the song list, the player and the pictures together.
import { t, lang } from './i18n.js';
import { Player } from './player.js';
import { SongList, droppedFiles, pickedFiles } from './song-list.js';
import { Meters, PianoRoll, Karaoke, SongListView } from './views.js';
import { matches, searchQuery } from './search.js';
import { SongAddress, parseLink } from './links.js';
import { lrcText, midiFile } from './writers.js';

const $ = (id) => document.getElementById(id);
const list = new SongList();
// Even loudness measures each song in the song worker (below), off both
// the page's thread and the render thread.
const player = new Player({ measure: (entry, settings) => ask('loudness', { entry, settings }).then((r) => (r.error ? null : r)) });
// Audio may start only inside a gesture: every one unlocks it (again after
// an interruption), before the click's own handler runs.
// The first one also makes the audio graph and starts the song worker.
for (const type of ['pointerdown', 'touchend', 'click', 'keydown']) {
    document.addEventListener(type, () => { player.unlock(); songWorkerNow(); }, { capture: true });
}
// Too slow a machine for the emulator: the player went on with a lighter one.
player.addEventListener('struggling', (e) => { $('emulator').value = e.detail.emulator; });
const now = { index: -1, entry: null, info: null, id: null };
let queued = null;   // {index, id} of the song following without a gap
let soloVoice = -1;
const voiceGains = [];   // dB per voice, kept from song to song as the mute mask is
const prepared = player.prepare();
const address = new SongAddress();
let waitingLink = null;   // a link to a visitor's file not yet opened

// ---- Words ----------------------------------------------------------------
document.documentElement.lang = lang;
document.title = t.title;
for (const el of document.querySelectorAll('[data-t]')) el.textContent = t[el.dataset.t];
for (const el of document.querySelectorAll('[data-t-title]')) el.title = el.setAttribute('aria-label', t[el.dataset.tTitle]) || t[el.dataset.tTitle];
for (const el of document.querySelectorAll('[data-t-placeholder]')) el.placeholder = t[el.dataset.tPlaceholder];
for (const el of document.querySelectorAll('[data-t-label]')) el.setAttribute('aria-label', t[el.dataset.tLabel]);
$('keys-table').replaceChildren(...t.helpKeys.map(([k, what]) => {
    const tr = document.createElement('tr');
    tr.innerHTML = '<th></th><td></td>';
    tr.children[0].textContent = k;
    tr.children[1].textContent = what;
    return tr;
}));

const clock = (ms) => {
    if (ms == null || ms < 0) return '–:––';
    const s = Math.floor(ms / 1000);
    return `${Math.floor(s / 60)}:${String(s % 60).padStart(2, '0')}`;
};
const status = (text) => { $('status').textContent = text; };

// ---- The song worker: titles, lengths, scores, exports ---------------------
// Started when first asked (or at the first gesture): a page that only
// lists its collection needs it not, and starting a worker costs the
// page's thread.
const asks = new Map();
let askSerial = 0, songWorker = null;
function songWorkerNow() {
    if (songWorker) return songWorker;
    songWorker = new Worker(new URL('./song-worker.js', import.meta.url), { type: 'module' });
    songWorker.onmessage = (e) => {
        const ask = asks.get(e.data.id);
        if (!ask) return;
        if (!e.data.done) return ask.progress?.(e.data.progress);
        asks.delete(e.data.id);
        ask.resolve(e.data);
    };
    songWorker.onerror = (e) => console.error('song worker', e.message);
    return songWorker;
}
const ask = (type, payload, progress) => new Promise((resolve) => {
    const id = ++askSerial;
    asks.set(id, { resolve, progress });
    songWorkerNow().postMessage({ type, id, ...payload });
});

// Why an entry cannot play, in the page's words or the library's.
function reason(error) {
    if (!error) return '';
    if (error.name === 'too-big') return t.tooBig;
    if (error.name === 'empty') return t.empty;
    if (error.name === 'unreadable') return t.unreadable;
    if (error.name === 'collection') return t.indexMissing + error.message;
    return error.message || error.name;
}

async function entryBytes(entry) {
    try {
        return await list.bytesOf(entry);
    } catch (e) {
        entry.status = 'error';
        entry.error = e && e.name && !(e instanceof Error) ? e : { name: 'unreadable', message: `${t.unreadable}: ${e}` };
        return null;
    }
}

// Titles and lengths, one song at a time so that playing starts first.
let probing = Promise.resolve();
function probe(entries) {
    for (const entry of entries) {
        probing = probing.then(async () => {
            const bytes = await entryBytes(entry);
            if (bytes) {
                const r = await ask('probe', { entry: bytes });
                if (r.error) { entry.status = 'error'; entry.error = r.error; }
                else Object.assign(entry, { status: 'ok', title: r.title, lengthMs: r.lengthMs, lyricsProblem: r.lyricsProblem });
            }
            drawList();
        });
    }
    return probing;
}

// ---- The list -----------------------------------------------------------------
// Drawn at most once a frame however many changes come in (a probe of 500
// files changes it 500 times).
const listView = new SongListView($('list'), $('list-panel'), {
    onPick: (entry) => playIndex(list.entries.indexOf(entry)),
    describe: (entry) => ({
        name: entry.title || entry.name, path: entry.path, className: `${entry.status}${entry.site ? ' site' : ''}`,
        length: entry.status === 'ok' ? clock(entry.lengthMs) : entry.status === 'pending' ? t.reading : '',
        why: entry.status === 'error' ? reason(entry.error) : '',
    }),
});
let query = [], listDrawPending = false, revealPending = false;
let collectionArrived = false;   // marks the first drawing of the collection (for the benchmark)
const visible = (entry) => !query.length || matches(query, list.searchText(entry));
function drawListNow() {
    listDrawPending = false;
    $('drop-hint').hidden = list.entries.some((e) => !e.site);
    const shown = listView.draw(list.entries, now.index, visible);
    $('list-count').textContent = t.count(shown, list.entries.length);
    $('tab-count').textContent = `(${list.entries.length})`;
    if (revealPending) { revealPending = false; listView.reveal(now.entry); }
    if (collectionArrived) { collectionArrived = false; performance.mark('velk-collection-listed'); }
}
function drawList(reveal = false) {
    revealPending ||= reveal;
    if (listDrawPending) return;
    listDrawPending = true;
    requestAnimationFrame(drawListNow);
}
// Sorting and clearing move entries: the list keeps which one is current.
list.addEventListener('change', () => { now.index = list.current; drawList(); });
$('search').oninput = (e) => { query = searchQuery(e.target.value); drawList(true); };
$('sort').onchange = (e) => {
    list.sort(e.target.value);
    now.index = list.current;
    try { localStorage.setItem('velk-sort', e.target.value); } catch { /* private mode */ }
    drawList(true);
    queueFollowing();
};

async function takeIn(files, fromFolder) {
    const added = await list.add(files, { fromFolder });
    drawList();
    // A link that named a visitor's file plays it once the file comes in.
    const linked = waitingLink && list.find(waitingLink.path);
    if (linked && added.includes(linked)) {
        const at = waitingLink.ms;
        waitingLink = null;
        probe(added);
        playIndex(list.entries.indexOf(linked), at);
    } else if (now.index < 0 && added.length) {
        const first = list.entries.indexOf(added[0]);
        probe(added);
        playIndex(first);
    } else {
        probe(added);
    }
    if (queued == null && now.index >= 0) queueFollowing();
}

$('pick-files').onchange = (e) => { takeIn(pickedFiles(e.target.files), false); e.target.value = ''; };
$('pick-folder').onchange = (e) => { takeIn(pickedFiles(e.target.files), true); e.target.value = ''; };
$('clear').onclick = () => {
    const keeps = now.entry && now.entry.site;
    if (!keeps) player.stop();
    list.clear();
    if (keeps) { now.index = list.current; queueFollowing(); return; }
    Object.assign(now, { index: -1, entry: null, info: null, id: null });
    queued = null;
    showSong();
};
document.addEventListener('dragover', (e) => { e.preventDefault(); document.body.classList.add('dragging'); });
document.addEventListener('dragleave', () => document.body.classList.remove('dragging'));
document.addEventListener('drop', async (e) => {
    e.preventDefault();
    document.body.classList.remove('dragging');
    const files = await droppedFiles(e.dataTransfer);
    takeIn(files, files.some((f) => f.path.includes('/')));
});

// ---- Playing --------------------------------------------------------------
async function playIndex(index, startMs = 0, { fromHistory = false } = {}) {
    const entry = list.entries[index];
    if (!entry) return;
    await player.start();
    list.current = index;
    now.index = index;
    now.entry = entry;
    queued = null;
    drawList(true);
    // What the list knows is shown at once (a link opened before any
    // gesture waits for one to sound).
    $('song-title').textContent = entry.title || entry.name;
    $('length').textContent = clock(entry.lengthMs);
    $('time').textContent = clock(startMs);
    if (!fromHistory) address.songStarted(entry, startMs);
    const bytes = await entryBytes(entry);
    if (now.entry !== entry) return;
    if (!bytes) { drawList(); status(`${entry.name}: ${reason(entry.error)}`); return; }
    try {
        const info = await player.load(bytes, startMs);
        now.id = player.songId;
        if (entry.status !== 'ok') Object.assign(entry, { status: 'ok', title: info.title, lengthMs: info.lengthMs });
    } catch (error) {
        entry.status = 'error';
        entry.error = error;
        drawList();
        status(`${entry.name}: ${reason(error)}`);
        return;
    }
    drawList();
    showSong(entry, bytes);
    queueFollowing();
}

// The song that follows when this one ends, given to the render worker
// now so that it starts without a gap.
async function queueFollowing() {
    await prepared;
    const index = list.neighbour(1, true);
    if (index < 0) { queued = null; player.queueNext(null); return; }
    const entry = list.entries[index];
    const bytes = await entryBytes(entry);
    if (!bytes) { queued = null; return; }
    player.queueNext(bytes);
    queued = { index, entry, id: player.queued.id, bytes };
}

player.addEventListener('song-heard', (e) => {
    if (queued && e.detail === queued.id) {
        const q = queued;
        list.current = now.index = list.entries.indexOf(q.entry);
        now.entry = q.entry;
        now.id = q.id;
        drawList(true);
        address.songStarted(now.entry, 0);
        showSong(now.entry, q.bytes);
        queueFollowing();
    }
});
player.addEventListener('queue-failed', (e) => {
    // It failed as the song before it ended: say why and play the one after.
    const entry = queued && queued.entry;
    if (entry) { entry.status = 'error'; entry.error = e.detail.error; drawList(); }
    const index = list.neighbour(1, true);
    if (index >= 0) playIndex(index);
});

const meters = new Meters($('meters'), (voice, what) => {
    const count = now.info ? now.info.voices.length : 0;
    let mask = player.settings.muted;
    if (what === 'mute') { mask ^= 1 << voice; soloVoice = -1; }
    else if (soloVoice === voice) { mask = 0; soloVoice = -1; }
    else { mask = ((1 << count) - 1) & ~(1 << voice); soloVoice = voice; }
    player.change({ muted: mask });
    meters.showMuted(mask, soloVoice);
}, (voice, db) => {
    voiceGains[voice] = db;
    player.setVoiceGain?.(voice, db);
});
const roll = new PianoRoll($('roll'));
const karaoke = new Karaoke($('lyric-line'), $('lyric-next'));

async function showSong(entry, bytes) {
    $('song-title').textContent = entry ? entry.title || entry.name : t.noSong;
    $('length').textContent = clock(entry ? entry.lengthMs : null);
    $('credits').textContent = entry && entry.credits?.length ? entry.credits.join(' · ') : '';
    now.info = null;
    shownBpm = null;
    $('bpm').textContent = '– BPM';
    if (!entry) { meters.setVoices([]); roll.setScore([]); karaoke.setLyrics(null); return; }
    const info = await ask('describe', { entry: bytes });
    if (info.error || now.entry !== entry) return;
    now.info = info;
    info.notes.forEach((n) => { n.rhythm = info.voices[n.voice]?.rhythm; });
    meters.setVoices(info.voices, voiceGains);
    meters.showMuted(player.settings.muted, soloVoice);
    roll.setScore(info.notes);
    karaoke.setLyrics(info.lyrics);
    const credits = info.lyrics.credits.filter(Boolean).join(' · ');
    // The search looks through the credits of songs played from files too.
    if (!entry.credits?.length && credits) { entry.credits = info.lyrics.credits.filter(Boolean); drawList(); }
    $('credits').textContent = credits || (info.lyricsProblem ? t.lyricsIgnored + info.lyricsProblem : '');
    if ('mediaSession' in navigator) {
        navigator.mediaSession.metadata = new MediaMetadata({ title: info.title || entry.name, artist: credits, album: 'Velk' });
    }
}

function togglePlay() {
    if (now.index < 0) { if (list.entries.length) playIndex(Math.max(0, list.neighbour(1))); return; }
    if (player.songId == null) { playIndex(now.index); return; }  // stopped at the list's end
    player.setPaused(player.playing);
}
player.addEventListener('state', () => {
    $('play').textContent = player.playing ? '❚❚' : '▶';
    $('play').title = player.playing ? t.pause : t.play;
    if ('mediaSession' in navigator) navigator.mediaSession.playbackState = player.playing ? 'playing' : 'paused';
});
const step = (s) => { const i = list.neighbour(s); if (i >= 0) playIndex(i); };
const seekBy = (ms) => { const h = player.heard(); if (h) player.seek(Math.max(0, h.positionMs + ms)); };

$('play').onclick = togglePlay;
$('next').onclick = () => step(1);
$('previous').onclick = () => step(-1);
$('volume').oninput = (e) => player.setVolume(Number(e.target.value));
$('loop').onchange = (e) => { list.setLoop(e.target.value); queueFollowing(); };
$('seek').oninput = (e) => {
    if (!now.entry) return;
    const ms = (Number(e.target.value) / 1000) * (now.entry.lengthMs || 0);
    player.seek(ms);
    address.heardAt(now.entry, ms, true);
};
// A far seek waiting for the seek index: the bar shows how far it has got.
player.addEventListener('seeking', (e) => {
    const w = e.detail, length = now.entry && now.entry.lengthMs;
    $('seek').closest('.position').classList.toggle('seeking', !!w);
    $('seek').setAttribute('aria-busy', String(!!w));
    $('seek-reach').style.transform = `scaleX(${w && length ? Math.min(1, w.reachMs / length) : 0})`;
    if (w) status(t.seeking(clock(w.targetMs), 10 * Math.floor((10 * Math.max(0, w.reachMs - w.fromMs)) / Math.max(1, w.targetMs - w.fromMs))));
    else if (seekingShown) status('');
    seekingShown = !!w;
});
let seekingShown = false;
$('emulator').onchange = (e) => { player.change({ emulator: e.target.value }); queueFollowing(); };
$('bends').onchange = (e) => { player.change({ pitchBends: e.target.checked }); queueFollowing(); };
$('tempo').oninput = (e) => {
    const tempo = Math.pow(2, Number(e.target.value));
    $('tempo-out').textContent = `${tempo.toFixed(2)}×`;
    player.change({ tempo });
};
$('transpose').oninput = (e) => {
    $('transpose-out').textContent = e.target.value > 0 ? `+${e.target.value}` : e.target.value;
    player.change({ transpose: Number(e.target.value) });
};
$('help').onclick = () => $('keys').showModal();

// ---- Keys -----------------------------------------------------------------
// The same keys as velkplay's: digits mute voices 1 to 9, b s t c h the
// drums, shifted they solo, 0 lets every voice be heard; + and - tempo,
// [ and ] the key.
const voiceKeys = ['1', '2', '3', '4', '5', '6', '7', '8', '9'];
const shiftedVoiceKeys = ['!', '@', '#', '$', '%', '^', '&', '*', '('];
const drumKeys = ['b', 's', 't', 'c', 'h'];
function voiceOfKey(e) {
    const digit = e.code.startsWith('Digit') ? e.code.slice(5) : null;
    let voice = voiceKeys.indexOf(digit ?? e.key);
    if (voice < 0) voice = shiftedVoiceKeys.indexOf(e.key);
    const drum = drumKeys.indexOf(e.key.toLowerCase());
    if (voice < 0 && drum >= 0 && now.info) {
        const first = now.info.voices.findIndex((v) => v.rhythm);
        if (first >= 0) voice = first + drum;
    }
    return voice;
}
function hearEveryVoice() {
    soloVoice = -1;
    player.change({ muted: 0 });
    meters.showMuted(0, soloVoice);
}
document.addEventListener('keydown', (e) => {
    if (e.target.closest && e.target.closest('input[type=text], input[type=search], select') || e.ctrlKey || e.metaKey || e.altKey) return;
    // A focused slider takes its own arrows (a voice's volume, the key).
    if (e.target.matches?.('input[type=range]') && e.key.startsWith('Arrow')) return;
    const slider = (id, delta) => { const el = $(id); el.value = Number(el.value) + delta; el.dispatchEvent(new Event('input')); };
    const act = {
        ' ': togglePlay, ArrowLeft: () => seekBy(-5000), ArrowRight: () => seekBy(5000),
        ArrowUp: () => slider('volume', 0.05), ArrowDown: () => slider('volume', -0.05),
        n: () => step(1), p: () => step(-1), '0': hearEveryVoice,
        '+': () => slider('tempo', 0.1), '=': () => slider('tempo', 0.1), '-': () => slider('tempo', -0.1),
        '[': () => slider('transpose', -1), ']': () => slider('transpose', 1), '?': () => $('keys').showModal(),
        l: () => { const modes = ['off', 'all', 'one', 'shuffle']; $('loop').value = modes[(modes.indexOf(list.loop) + 1) % 4]; $('loop').dispatchEvent(new Event('change')); },
    }[e.key];
    if (act) { e.preventDefault(); act(); return; }
    const voice = voiceOfKey(e);
    if (voice >= 0 && now.info && voice < now.info.voices.length) {
        e.preventDefault();
        document.querySelectorAll('#meters .voice')[voice].querySelector(e.shiftKey ? '.solo' : '.mute').click();
    }
});

// ---- Media keys -------------------------------------------------------------
if ('mediaSession' in navigator) {
    const ms = navigator.mediaSession;
    const on = (action, fn) => { try { ms.setActionHandler(action, fn); } catch { /* not offered here */ } };
    on('play', () => player.setPaused(false));
    on('pause', () => player.setPaused(true));
    on('nexttrack', () => step(1));
    on('previoustrack', () => step(-1));
    on('seekto', (d) => player.seek(d.seekTime * 1000));
    on('seekbackward', (d) => seekBy(-(d.seekOffset || 5) * 1000));
    on('seekforward', (d) => seekBy((d.seekOffset || 5) * 1000));
}

// ---- Exports ----------------------------------------------------------------
function save(data, name, type) {
    const a = document.createElement('a');
    a.href = URL.createObjectURL(new Blob([data], { type }));
    a.download = name;
    a.click();
    setTimeout(() => URL.revokeObjectURL(a.href), 10000);
}
const baseName = () => (now.entry ? now.entry.name.replace(/\.[^.]*$/, '') : 'song');
$('export-wav').onclick = async () => {
    if (!now.entry) return;
    const bytes = await entryBytes(now.entry);
    if (!bytes) return;
    const bar = $('export-progress');
    bar.hidden = false;
    bar.value = 0;
    const r = await ask('export', { entry: bytes, settings: { ...player.settings }, rate: player.rate }, (p) => { bar.value = p; });
    bar.hidden = true;
    if (r.error) return status(reason(r.error));
    save(r.wav, `${baseName()}.wav`, 'audio/wav');
};
$('export-lrc').onclick = () => {
    if (now.info && now.info.lyrics.highlights.length) save(lrcText(now.info.lyrics, now.info.title), `${baseName()}.lrc`, 'text/plain');
    else status(t.noLyrics);
};
$('export-midi').onclick = () => { if (now.info) save(midiFile(now.info), `${baseName()}.mid`, 'audio/midi'); };

// ---- Following what is heard --------------------------------------------------
// Drawn each frame while playing, and for a while after anything moved (a
// seek while paused, a pause, the peaks falling); an idle page asks for no
// frames at all (a phone's battery, and the page's thread at load).
let lastMedia = 0, framing = false, wokenAt = 0;
function wake() {
    wokenAt = performance.now();
    if (!framing) { framing = true; requestAnimationFrame(frame); }
}
for (const type of ['timeline', 'state', 'audible', 'seeking']) player.addEventListener(type, wake);
window.addEventListener('resize', wake);
function frame(time) {
    if (player.playing || performance.now() - wokenAt < 1500 || !meters.idle) requestAnimationFrame(frame);
    else framing = false;
    if (!player.ctx) return;
    const heard = player.heard();
    const ms = heard ? heard.positionMs : 0;
    const states = heard && heard.songId === now.id ? heard.states : null;
    if (now.entry) {
        $('time').textContent = clock(ms);
        if (document.activeElement !== $('seek')) $('seek').value = now.entry.lengthMs ? (1000 * ms) / now.entry.lengthMs : 0;
    }
    if (player.settings.muted !== meters.shownMask) meters.showMuted(player.settings.muted, soloVoice);
    showBpm(heard, ms);
    if (now.entry && heard && player.playing && heard.songId === now.id) address.heardAt(now.entry, ms);
    meters.draw(states, time);
    roll.draw(ms, states, player.settings.transpose);
    karaoke.draw(ms);
    if (heard && heard.ended && player.playing) {
        // Nothing follows (loop off at the end of the list): stop there.
        player.setPaused(true);
        player.stop();
    }
    if ('mediaSession' in navigator && now.entry && time - lastMedia > 1000 && now.entry.lengthMs > 0) {
        lastMedia = time;
        try {
            navigator.mediaSession.setPositionState({ duration: now.entry.lengthMs / 1000, position: Math.min(ms, now.entry.lengthMs) / 1000,
                                                      playbackRate: player.settings.tempo });
        } catch { /* a position past the length while a seek lands */ }
    }
}

// ---- The tempo in beats a minute --------------------------------------------
// The render worker's figure when it gives one, else the score's tempo map
// at the time heard, times the tempo control.
let shownBpm = null;
function showBpm(heard, ms) {
    let bpm = heard && typeof heard.bpm === 'number' ? heard.bpm : null;
    const tempos = now.info && now.info.tempos;
    if (bpm == null && tempos && tempos.length) {
        let i = 0;
        while (i + 1 < tempos.length && tempos[i + 1].timeMs <= ms) i++;
        bpm = tempos[i].bpm * player.settings.tempo;
    }
    const text = bpm == null ? '– BPM' : `${bpm < 100 ? bpm.toFixed(1) : Math.round(bpm)} BPM`;
    if (text !== shownBpm) { shownBpm = text; $('bpm').textContent = text; }
}

// ---- Links --------------------------------------------------------------------
// Opens the song the address names at its time; says so when it is not here
// (a visitor's file plays once it is opened again).
function followLink({ replay = true } = {}) {
    const link = parseLink(location.hash);
    if (!link) return false;
    const entry = list.find(link.path);
    if (!entry) {
        waitingLink = link;
        $('song-title').textContent = t.noSuchSong(link.path);
        status(t.noSuchSong(link.path));
        return true;
    }
    waitingLink = null;
    if (entry === now.entry && player.songId != null) {
        if (replay) player.seek(link.ms);
    } else {
        playIndex(list.entries.indexOf(entry), link.ms, { fromHistory: true });
    }
    return true;
}
window.addEventListener('popstate', () => followLink());

// ---- Theme ----------------------------------------------------------------------
// The system's (prefers-color-scheme) unless the visitor chose light or dark.
const themes = ['auto', 'light', 'dark'];
function showTheme(theme) {
    const root = document.documentElement;
    if (theme === 'auto') delete root.dataset.theme;
    else root.dataset.theme = theme;
    const label = { auto: t.themeAuto, light: t.themeLight, dark: t.themeDark }[theme];
    $('theme').title = label;
    $('theme').setAttribute('aria-label', label);
    $('theme').textContent = { auto: '◐', light: '☀', dark: '☾' }[theme];
    for (const meta of document.querySelectorAll('meta[name=theme-color]')) {
        meta.content = theme === 'auto' ? (meta.media.includes('light') ? '#f4f5f7' : '#101216') : theme === 'light' ? '#f4f5f7' : '#101216';
    }
}
let theme = document.documentElement.dataset.theme || 'auto';
showTheme(theme);
$('theme').onclick = () => {
    theme = themes[(themes.indexOf(theme) + 1) % themes.length];
    showTheme(theme);
    wake();
    try { if (theme === 'auto') localStorage.removeItem('velk-theme'); else localStorage.setItem('velk-theme', theme); } catch { /* private mode */ }
};

// ---- The phone's tabs: the player or the list ----------------------------------
function showTab(tab) {
    document.body.dataset.tab = tab;
    $('tab-now').setAttribute('aria-pressed', String(tab === 'now'));
    $('tab-list').setAttribute('aria-pressed', String(tab === 'list'));
    if (tab === 'list') drawList(true);
}
$('tab-now').onclick = () => showTab('now');
$('tab-list').onclick = () => showTab('list');
showTab('now');

// ---- Even loudness ----------------------------------------------------------------
const stored = (key) => { try { return localStorage.getItem(key); } catch { return null; } };
$('even-loudness').checked = stored('velk-even-loudness') !== 'off';
$('even-loudness').onchange = (e) => {
    player.setEvenLoudness?.(e.target.checked);
    try { localStorage.setItem('velk-even-loudness', e.target.checked ? 'on' : 'off'); } catch { /* private mode */ }
};

// ---- The site's collection ------------------------------------------------------
// collection.json, written by tools/velkindex when the site is built: the
// demo song always, and the songs of tools/web.sh --songs DIR.
async function loadCollection() {
    const url = new URL('collection.json', location.href);
    let index;
    try {
        const r = await fetch(url);
        if (!r.ok) throw new Error(`${r.status} ${r.statusText}`.trim());
        index = await r.json();
        performance.mark('velk-collection-fetched');
        if (!index || index.format !== 1 || !Array.isArray(index.songs)) throw new Error('not a collection index');
    } catch (e) {
        list.addCollectionProblem('collection.json', String(e && e.message || e));
        return;
    }
    list.addCollection(index, url);
    collectionArrived = true;
    $('keep-offline').hidden = !('serviceWorker' in navigator) || !list.entries.some((e) => e.site && e.urls);
}
$('keep-offline').onclick = async () => {
    const bar = $('offline-progress');
    $('keep-offline').disabled = true;
    bar.hidden = false;
    bar.value = 0;
    const failed = await list.keepAll((done, total) => { bar.value = done / total; status(t.keeping(done, total)); });
    bar.hidden = true;
    $('keep-offline').disabled = false;
    status(failed.length ? t.keptBut(failed.length) : t.kept);
    drawList();
};

// ---- Start ------------------------------------------------------------------
status(t.loading);
showSong();
const sortKey = stored('velk-sort');
if (sortKey && [...$('sort').options].some((o) => o.value === sortKey)) { $('sort').value = sortKey; list.sortKey = sortKey; }
const collection = loadCollection();
drawList();
window.velk = { list, player, now, takeIn, playIndex, probe: () => probing, karaoke, meters, collection, voiceGains };
prepared.then(() => {
    status(`libvelk ${player.version}`);
    player.setEvenLoudness?.($('even-loudness').checked);
    wake();
    return collection.then(() => followLink());
}, (e) => status(t.failedToStart + e.message));
window.addEventListener('unhandledrejection', (e) => { console.error(e.reason); status(String(e.reason && e.reason.message || e.reason)); });

// The service worker after the page has loaded: its install fetches the
// whole site, which need not compete with what the page loads first.
if ('serviceWorker' in navigator && location.protocol.startsWith('http')) {
    const register = () => navigator.serviceWorker.register('sw.js').then(() => navigator.serviceWorker.ready)
        .then(() => { $('status').dataset.offline = t.offline; }, () => {});
    if (document.readyState === 'complete') register();
    else window.addEventListener('load', register, { once: true });
}
