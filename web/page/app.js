// The page: wires the song list, the player and the pictures together.
import { t, lang } from './i18n.js';
import { Player } from './player.js';
import { SongList, droppedFiles, pickedFiles } from './song-list.js';
import { Meters, PianoRoll, Karaoke } from './views.js';
import { lrcText, midiFile } from './writers.js';

const $ = (id) => document.getElementById(id);
const list = new SongList();
const player = new Player();
const now = { index: -1, entry: null, info: null, id: null };
let queued = null;   // {index, id} of the song following without a gap
let soloVoice = -1;
const prepared = player.prepare();

// ---- Words ----------------------------------------------------------------
document.documentElement.lang = lang;
document.title = t.title;
for (const el of document.querySelectorAll('[data-t]')) el.textContent = t[el.dataset.t];
for (const el of document.querySelectorAll('[data-t-title]')) el.title = el.setAttribute('aria-label', t[el.dataset.tTitle]) || t[el.dataset.tTitle];
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
const songWorker = new Worker(new URL('./song-worker.js', import.meta.url), { type: 'module' });
const asks = new Map();
let askSerial = 0;
songWorker.onmessage = (e) => {
    const ask = asks.get(e.data.id);
    if (!ask) return;
    if (!e.data.done) return ask.progress?.(e.data.progress);
    asks.delete(e.data.id);
    ask.resolve(e.data);
};
songWorker.onerror = (e) => console.error('song worker', e.message);
const ask = (type, payload, progress) => new Promise((resolve) => {
    const id = ++askSerial;
    asks.set(id, { resolve, progress });
    songWorker.postMessage({ type, id, ...payload });
});

// Why an entry cannot play, in the page's words or the library's.
function reason(error) {
    if (!error) return '';
    if (error.name === 'too-big') return t.tooBig;
    if (error.name === 'empty') return t.empty;
    if (error.name === 'unreadable') return t.unreadable;
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
function drawList() {
    $('drop-hint').hidden = list.entries.length > 0;
    $('list').replaceChildren(...list.entries.map((entry, i) => {
        const li = document.createElement('li');
        li.className = `entry ${entry.status}${i === now.index ? ' current' : ''}`;
        li.dataset.key = entry.key;
        li.innerHTML = '<span class="name"></span><span class="length"></span><span class="why"></span>';
        li.querySelector('.name').textContent = entry.title || entry.name;
        li.querySelector('.name').title = entry.path;
        li.querySelector('.length').textContent = entry.status === 'ok' ? clock(entry.lengthMs) : entry.status === 'pending' ? t.reading : '';
        li.querySelector('.why').textContent = entry.status === 'error' ? reason(entry.error) : '';
        li.onclick = () => playIndex(i);
        return li;
    }));
}
list.addEventListener('change', drawList);

async function takeIn(files, fromFolder) {
    const added = await list.add(files, { fromFolder });
    drawList();
    if (now.index < 0 && added.length) {
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
$('clear').onclick = () => { player.stop(); list.clear(); Object.assign(now, { index: -1, entry: null, info: null, id: null }); queued = null; showSong(); };
document.addEventListener('dragover', (e) => { e.preventDefault(); document.body.classList.add('dragging'); });
document.addEventListener('dragleave', () => document.body.classList.remove('dragging'));
document.addEventListener('drop', async (e) => {
    e.preventDefault();
    document.body.classList.remove('dragging');
    const files = await droppedFiles(e.dataTransfer);
    takeIn(files, files.some((f) => f.path.includes('/')));
});

// ---- Playing --------------------------------------------------------------
async function playIndex(index, startMs = 0) {
    const entry = list.entries[index];
    if (!entry) return;
    await prepared;
    list.current = index;
    now.index = index;
    now.entry = entry;
    queued = null;
    drawList();
    const bytes = await entryBytes(entry);
    if (!bytes) { drawList(); return; }
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
    queued = { index, id: player.queued.id, bytes };
}

player.addEventListener('song-heard', (e) => {
    if (queued && e.detail === queued.id) {
        const q = queued;
        list.current = now.index = q.index;
        now.entry = list.entries[q.index];
        now.id = q.id;
        drawList();
        showSong(now.entry, q.bytes);
        queueFollowing();
    }
});
player.addEventListener('queue-failed', (e) => {
    // It failed as the song before it ended: say why and play the one after.
    const entry = queued && list.entries[queued.index];
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
});
const roll = new PianoRoll($('roll'));
const karaoke = new Karaoke($('lyric-line'), $('lyric-next'));

async function showSong(entry, bytes) {
    $('song-title').textContent = entry ? entry.title || entry.name : t.noSong;
    $('length').textContent = clock(entry ? entry.lengthMs : null);
    $('credits').textContent = '';
    now.info = null;
    if (!entry) { meters.setVoices([]); roll.setScore([]); karaoke.setLyrics(null); return; }
    const info = await ask('describe', { entry: bytes });
    if (info.error || now.entry !== entry) return;
    now.info = info;
    info.notes.forEach((n) => { n.rhythm = info.voices[n.voice]?.rhythm; });
    meters.setVoices(info.voices);
    meters.showMuted(player.settings.muted, soloVoice);
    roll.setScore(info.notes);
    karaoke.setLyrics(info.lyrics);
    const credits = info.lyrics.credits.filter(Boolean).join(' · ');
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
$('seek').oninput = (e) => { if (now.entry) player.seek((Number(e.target.value) / 1000) * (now.entry.lengthMs || 0)); };
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
    if (e.target.closest && e.target.closest('input[type=text], select') || e.ctrlKey || e.metaKey || e.altKey) return;
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
let lastMedia = 0;
function frame(time) {
    requestAnimationFrame(frame);
    if (!player.ctx) return;
    const heard = player.heard();
    const ms = heard ? heard.positionMs : 0;
    const states = heard && heard.songId === now.id ? heard.states : null;
    if (now.entry) {
        $('time').textContent = clock(ms);
        if (document.activeElement !== $('seek')) $('seek').value = now.entry.lengthMs ? (1000 * ms) / now.entry.lengthMs : 0;
    }
    if (player.settings.muted !== meters.shownMask) meters.showMuted(player.settings.muted, soloVoice);
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

// ---- Start ------------------------------------------------------------------
status(t.loading);
showSong();
drawList();
window.velk = { list, player, now, takeIn, playIndex, probe: () => probing, karaoke, meters };
prepared.then(() => {
    status(`libvelk ${player.version}`);
    requestAnimationFrame(frame);
}, (e) => status(t.failedToStart + e.message));
window.addEventListener('unhandledrejection', (e) => { console.error(e.reason); status(String(e.reason && e.reason.message || e.reason)); });

if ('serviceWorker' in navigator && location.protocol.startsWith('http')) {
    navigator.serviceWorker.register('sw.js').then(() => navigator.serviceWorker.ready)
        .then(() => { $('status').dataset.offline = t.offline; }, () => {});
}
