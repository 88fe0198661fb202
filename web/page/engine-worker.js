// The render thread: plays songs through libvelk off the page's thread and
// hands blocks of float samples straight to the output worklet over a
// MessagePort (no SharedArrayBuffer: static hosts need not send isolation
// headers). It keeps about BUFFER_SECONDS queued there, so a busy page
// never starves the speakers. With each block it sends the page the voices'
// states and song times at the block's start, for the pictures to follow
// what is heard rather than what is rendered ahead. Between renders, while
// the worklet holds enough, it builds the song's seek index in short slices,
// so that seeks become exact a few seconds after a song opens.
import { loadVelk } from './velk-api.js';

const BLOCK = 1024;          // frames: about 21 ms at 48 kHz, the pictures' step
// Queued ahead in the worklet: 0.4 s, more after each underrun (a slow or
// throttled machine), up to MAX_BUFFER_SECONDS.
let BUFFER_SECONDS = 0.4;
const MAX_BUFFER_SECONDS = 2;

let velk, rate = 48000, port;
let current = null;          // {id, song, settings}
let next = null;             // the song that follows without a gap
let playing = false;
let generation = 0, outstanding = 0, blockSerial = 0, lastPosted = 0;

// Compiled here as it downloads, off the page's thread, before the page asks.
const ready = loadVelk().catch((e) => { postMessage({ type: 'fatal', message: String(e) }); throw e; });

function open(entry, settings) {
    const song = velk.open(entry.bytes, entry.bank, { rate, emulator: settings.emulator, pitchBends: settings.pitchBends,
                                                     location: entry.location, lyrics: entry.lyrics });
    if (song.error) return { error: song.error };
    applyControls(song, settings);
    return { song };
}

function applyControls(song, s) {
    song.setMuted(s.muted >>> 0);
    song.setTempo(s.tempo);
    song.setTranspose(s.transpose);
    const gains = s.gains || [];
    for (let v = 0; v < song.voiceCount; v++) song.setVoiceGain(v, Math.max(-47.25, Math.min(0, gains[v] || 0)));
}

// ---- The seek index, built between renders ----------------------------------
// Each slice renders as much song time as fits in SLICE_MS of this thread
// (learnt from the slices before), and runs only when the worklet holds more
// than half its buffer, so playback never waits for it.
const SLICE_MS = 15;
const index = { of: null, it: null, budgetMs: 250, timer: 0 };

function startIndex(c) {
    stopIndex();
    if (!c) return;
    try { index.it = c.song.seekIndex(); } catch { return; }  // Ken's emulator serves one song at a time
    index.of = c;
    index.tempo = c.settings.tempo;
    index.transpose = c.settings.transpose;
    scheduleIndex();
}
function stopIndex() {
    if (index.it) index.it.free();
    index.it = index.of = null;
    clearTimeout(index.timer);
    index.timer = 0;
}
function scheduleIndex(delay = 0) {
    if (!index.timer && index.it && !index.it.done) index.timer = setTimeout(indexSlice, delay);
}
function indexSlice() {
    index.timer = 0;
    if (!index.it || index.of !== current) return stopIndex();
    if (playing && outstanding < (BUFFER_SECONDS * rate) / 2) return scheduleIndex(5);
    const began = performance.now();
    const done = index.it.build(index.budgetMs);
    const took = performance.now() - began;
    index.budgetMs = Math.max(20, Math.min(10000, index.budgetMs * Math.min(4, SLICE_MS / Math.max(took, 0.5))));
    stats.indexMs += took;
    if (done) postMessage({ type: 'indexed', songId: current.id, ms: index.it.progressMs, bytes: current.song.snapshotBytes });
    else scheduleIndex();
}

function listen(p) {
    port = p;
    port.onmessage = (e) => {
        if (e.data.type === 'consumed' && e.data.generation === generation) {
            outstanding -= e.data.frames;
            pump();
        } else if (e.data.type === 'underrun') {
            // More queued; past the most, the emulator costs more than this
            // machine has: the page offers a lighter one.
            if (BUFFER_SECONDS < MAX_BUFFER_SECONDS) {
                BUFFER_SECONDS = Math.min(MAX_BUFFER_SECONDS, BUFFER_SECONDS * 2);
                postMessage({ type: 'buffer', seconds: BUFFER_SECONDS });
            } else if (current) {
                postMessage({ type: 'struggling', emulator: current.settings.emulator });
            }
            pump();
        }
    };
}

// Starts a new stretch of audio: the worklet drops what it holds.
function flush() {
    generation++;
    outstanding = 0;
    port.postMessage({ type: 'flush', generation });
}

// Time spent rendering against the audio it made (the benchmark reads it).
const stats = { busyMs: 0, frames: 0, indexMs: 0, seeks: 0, exactSeeks: 0 };
let slowdown = 1;

function renderBlock() {
    const began = performance.now();
    const c = current;
    const startMs = c.song.positionMs;
    const states = c.song.voiceStates();
    const bpm = c.song.bpm;
    const pcm = c.song.render(BLOCK);
    const frames = pcm.length / 2;
    const left = new Float32Array(frames), right = new Float32Array(frames);
    for (let i = 0; i < frames; i++) {
        left[i] = pcm[2 * i] / 32768;
        right[i] = pcm[2 * i + 1] / 32768;
    }
    const ended = frames < BLOCK;
    const serial = ++blockSerial;
    // A slower machine, for the benchmarks (browsers' CPU throttling does
    // not reach workers): each block costs `slowdown` times its render.
    if (slowdown > 1) for (const until = began + (performance.now() - began) * slowdown; performance.now() < until;);
    stats.busyMs += performance.now() - began;
    stats.frames += frames;
    if (frames > 0) {
        port.postMessage({ type: 'block', generation, serial, left, right }, [left.buffer, right.buffer]);
        outstanding += frames;
        lastPosted = serial;
    }
    return { serial, songId: c.id, startMs, endMs: c.song.positionMs, frames, states, bpm, ended };
}

// Renders until the worklet holds BUFFER_SECONDS. At a song's end the next
// queued song goes on in the same stream, so there is no gap between them.
// The page hears of a stream's end only after the blocks before it, and of
// none where a song follows (it would stop at the last block it knows of).
function pump() {
    if (!current || !playing) return;
    let blocks = [];
    let endSerial = null;
    const tell = () => { if (blocks.length) postMessage({ type: 'blocks', blocks }); blocks = []; };
    while (current && outstanding < BUFFER_SECONDS * rate) {
        const b = renderBlock();
        if (b.frames > 0) blocks.push(b);
        if (!b.ended) continue;
        if (!next) port.postMessage({ type: 'end', generation });
        tell();
        // Closed before the next opens: Ken's emulator serves one song at a time.
        stopIndex();
        current.song.close();
        current = null;
        // The song's last block is the last one that held frames.
        if (!next) { endSerial = lastPosted; break; }
        const r = open(next.entry, next.settings);
        if (r.error) {
            postMessage({ type: 'failed', id: next.id, error: r.error, queued: true });
            port.postMessage({ type: 'end', generation });
            next = null;
            endSerial = lastPosted;
            break;
        }
        current = { ...next, song: r.song };
        next = null;
        postMessage({ type: 'follows', songId: current.id, afterSerial: lastPosted });
        startIndex(current);
    }
    tell();
    if (endSerial != null) postMessage({ type: 'rendered-end', serial: endSerial });
    scheduleIndex();
}

function seekCurrent(ms) {
    stats.seeks++;
    if (current.song.seekIsExact(ms)) stats.exactSeeks++;
    current.song.seek(ms);
}

const handlers = {
    async init(msg) {
        velk = await ready;
        rate = msg.rate;
        listen(msg.port);
        postMessage({ type: 'ready', version: velk.version() });
    },
    // A new AudioContext (the old one's clock froze): its worklet's port and
    // rate. The song goes on from the time heard, reopened at a new rate.
    rewire(msg) {
        listen(msg.port);
        const newRate = msg.rate !== rate;
        rate = msg.rate;
        playing = msg.playing;
        if (current && newRate) {
            const r = open(current.entry, current.settings);
            if (r.error) { postMessage({ type: 'failed', id: current.id, error: r.error }); return; }
            stopIndex();
            current.song.close();
            current.song = r.song;
            startIndex(current);
        }
        flush();
        if (current && msg.heardMs != null) seekCurrent(msg.heardMs);
        pump();
    },
    load(msg) {
        stopIndex();
        if (current) current.song.close();
        current = next = null;
        flush();
        const r = open(msg.entry, msg.settings);
        if (r.error) return postMessage({ type: 'failed', id: msg.id, error: r.error });
        current = { id: msg.id, song: r.song, settings: msg.settings, entry: msg.entry };
        if (msg.startMs) r.song.seek(msg.startMs);
        startIndex(current);
        playing = msg.play !== false;
        postMessage({ type: 'loaded', id: msg.id, info: { title: r.song.title, lengthMs: r.song.lengthMs } });
        pump();
    },
    // The song to follow, opened when the current one ends.
    queue(msg) {
        next = msg.entry ? { id: msg.id, settings: msg.settings, entry: msg.entry } : null;
    },
    seek(msg) {
        if (!current) return;
        flush();
        seekCurrent(msg.ms);
        pump();
    },
    play(msg) {
        playing = msg.playing;
        pump();
    },
    // The listener's controls. Mute, tempo and key take effect at once: what
    // is queued is dropped and rendered again from the time being heard. A
    // new emulator or bends reopen the song there.
    settings(msg) {
        const s = msg.settings;
        if (next) next.settings = s;
        for (const c of [current]) {
            if (!c) continue;
            const reopen = c.settings.emulator !== s.emulator || c.settings.pitchBends !== s.pitchBends;
            c.settings = s;
            if (!reopen) {
                applyControls(c.song, s);
                // An index builds for the tempo and key it was made under.
                if (index.of === c && (index.tempo !== s.tempo || index.transpose !== s.transpose)) startIndex(c);
                continue;
            }
            const r = open(c.entry, s);
            if (r.error) { postMessage({ type: 'failed', id: c.id, error: r.error }); continue; }
            stopIndex();
            c.song.close();
            c.song = r.song;
            if (c === current && msg.heardMs != null) c.song.seek(msg.heardMs);
            startIndex(c);
        }
        if (current && msg.heardMs != null) {
            flush();
            seekCurrent(msg.heardMs);
            pump();
        }
    },
    slowdown(msg) {
        slowdown = Math.max(1, Number(msg.factor) || 1);
    },
    stats() {
        postMessage({ type: 'stats', ...stats, rate, bufferSeconds: BUFFER_SECONDS, heapBytes: velk ? velk.m.HEAPU8.buffer.byteLength : 0, indexedMs: index.it ? index.it.progressMs : null,
                      snapshotBytes: current ? current.song.snapshotBytes : 0 });
    },
    stop() {
        stopIndex();
        if (current) current.song.close();
        current = next = null;
        playing = false;
        flush();
    },
};

// Commands run one after another: loading the library finishes first.
let queue = Promise.resolve();
onmessage = (e) => {
    queue = queue.then(() => handlers[e.data.type]?.(e.data)).catch((err) => {
        postMessage({ type: 'error', message: String(err && err.message || err) });
    });
};
