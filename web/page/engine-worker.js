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
// Queued ahead in the worklet: 0.4 s on a machine with room to spare; more
// as soon as rendering takes a larger share of real time (a phone's slow
// core, a busy machine), before the speakers run dry rather than after:
// what stalls this thread (the system giving the core to others, a
// collection of garbage, a slice of the seek index) costs more of the
// margin the less of it there is. Each underrun doubles it; at most
// MAX_BUFFER_SECONDS. A larger queue costs nothing heard: a seek or a change
// drops it, and the worklet starts again after PRIME frames.
let BUFFER_SECONDS = 0.4;
const MAX_BUFFER_SECONDS = 2;
// Rendering's share of real time, smoothed over some two seconds of blocks.
let load = 0;
function noteLoad(busyMs, frames) {
    const share = busyMs / ((frames / rate) * 1000);
    load += (share - load) * Math.min(1, frames / (2 * rate));
    const wanted = load > 0.35 ? 2 : load > 0.18 ? 1 : 0.4;
    if (wanted > BUFFER_SECONDS) {
        BUFFER_SECONDS = Math.min(MAX_BUFFER_SECONDS, wanted);
        postMessage({ type: 'buffer', seconds: BUFFER_SECONDS });
    }
}
// The longest this thread went without answering (the benchmark reads it).
function timed(what, fn) {
    const began = performance.now();
    try { return fn(); } finally {
        const took = performance.now() - began;
        if (took > stats.longestMs) { stats.longestMs = took; stats.longestWhat = what; }
    }
}

let velk, rate = 48000, port;
let current = null;          // {id, song, settings}
let next = null;             // the song that follows without a gap
let playing = false;
let generation = 0, outstanding = 0, blockSerial = 0, lastPosted = 0;
let epoch = 0;               // the page's count of its requests that flush (load, seek, change, rewire)

// Compiled here as it downloads, off the page's thread; the page hears when
// it is ready, and wires the audio to it later (init), when first needed.
const ready = loadVelk().then((v) => {
    velk = v;
    postMessage({ type: 'ready', version: v.version() });
    return v;
}, (e) => { postMessage({ type: 'fatal', message: String(e) }); throw e; });

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
    if (index.timer !== -1) clearTimeout(index.timer);
    index.timer = 0;
}
// While a seek waits, slices follow one another through a message to this
// thread itself: timers wait at least 4 ms once nested, a tenth of the time.
const soon = new MessageChannel();
let soonSerial = 0;
soon.port1.onmessage = (e) => { if (index.timer === -1 && e.data === soonSerial) indexSlice(); };
function scheduleIndex(delay = 0) {
    if (index.timer || !index.it || index.it.done) return;
    if (waiting && delay === 0) { index.timer = -1; soon.port2.postMessage(++soonSerial); } else index.timer = setTimeout(indexSlice, delay);
}
function indexSlice() {
    timed('seek index', indexSliceNow);
}
function indexSliceNow() {
    index.timer = 0;
    if (!index.it || index.of !== current) return stopIndex();
    // A seek waiting for the index has the thread: nothing is playing.
    const slice = waiting ? WAITING_SLICE_MS : SLICE_MS;
    if (!waiting && playing && outstanding < (BUFFER_SECONDS * rate) / 2) return scheduleIndex(5);
    const began = performance.now();
    const done = index.it.build(index.budgetMs);
    const took = performance.now() - began;
    index.budgetMs = Math.max(20, Math.min(10000, index.budgetMs * Math.min(4, slice / Math.max(took, 0.5))));
    stats.indexMs += took;
    if (done) postMessage({ type: 'indexed', songId: current.id, ms: index.it.progressMs, bytes: current.song.snapshotBytes });
    if (waiting) waitForIndex();
    if (!done) scheduleIndex();
}

// ---- Seeks that wait for the index ----------------------------------------
// A seek within a second after what the snapshots reach (or just ahead of
// where the song is) costs at most a second of the chip. One far beyond
// them renders the whole stretch before it unheard: seconds in wasm, with
// nothing answered meanwhile. Such a seek waits, silent, while the index
// is driven toward its target in longer slices, the page shown how far it
// has got; it lands once the index is within a second of the target. A new
// seek supersedes a waiting one.
const NEAR_MS = 1000, WAITING_SLICE_MS = 80;
let waiting = null;   // {ms, fromMs, toldAt}

function cheapSeek(c, ms) {
    const at = c.song.positionMs;
    return ms <= c.song.snapshotReachMs + NEAR_MS || (ms >= at && ms <= at + NEAR_MS);
}
function seekTo(ms) {
    const c = current;
    ms = Math.max(0, Math.min(ms, c.song.lengthMs));
    const wasWaiting = waiting;
    waiting = null;
    if (index.of !== c || !index.it || index.it.done || cheapSeek(c, ms)) {
        if (wasWaiting) postMessage({ type: 'seeking', songId: c.id, done: true });
        seekCurrent(ms);
        return;
    }
    waiting = { ms, fromMs: c.song.snapshotReachMs, toldAt: 0 };
    index.budgetMs = Math.max(index.budgetMs, 1000);
    tellWaiting(true);
    if (index.timer !== -1) clearTimeout(index.timer);
    index.timer = 0;
    scheduleIndex();
}
function tellWaiting(now = false) {
    const c = current;
    if (!now && performance.now() - waiting.toldAt < 100) return;
    waiting.toldAt = performance.now();
    postMessage({ type: 'seeking', songId: c.id, targetMs: waiting.ms, fromMs: waiting.fromMs, reachMs: c.song.snapshotReachMs });
}
function waitForIndex() {
    const c = current;
    if (!c || !waiting) return;
    if (!cheapSeek(c, waiting.ms) && !index.it.done) { tellWaiting(); return; }
    const ms = waiting.ms;
    waiting = null;
    postMessage({ type: 'seeking', songId: c.id, done: true });
    seekCurrent(ms);
    pump();
}

function listen(p) {
    port = p;
    port.onmessage = (e) => {
        if (e.data.type === 'consumed' && e.data.generation === generation) {
            outstanding -= e.data.frames;
            pump();
        } else if (e.data.type === 'underrun') {
            // More queued; past the most, and rendering taking most of real
            // time, the emulator costs more than this machine has: the page
            // goes on with a lighter one. (An underrun alone, with room to
            // spare, was a stall, which the larger queue now covers.)
            if (BUFFER_SECONDS < MAX_BUFFER_SECONDS) {
                BUFFER_SECONDS = Math.min(MAX_BUFFER_SECONDS, BUFFER_SECONDS * 2);
                postMessage({ type: 'buffer', seconds: BUFFER_SECONDS });
            } else if (current && load > 0.6) {
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
    if (port) port.postMessage({ type: 'flush', generation });
}

// Time spent rendering against the audio it made (the benchmark reads it).
const stats = { busyMs: 0, frames: 0, indexMs: 0, seeks: 0, exactSeeks: 0, longestMs: 0, longestWhat: '' };
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
    noteLoad(performance.now() - began, frames);
    if (frames > 0) {
        port.postMessage({ type: 'block', generation, serial, left, right }, [left.buffer, right.buffer]);
        outstanding += frames;
        lastPosted = serial;
    }
    return { serial, epoch, songId: c.id, startMs, endMs: c.song.positionMs, frames, states, bpm, ended };
}

// Renders until the worklet holds BUFFER_SECONDS, PUMP_SLICE_MS at a time
// (a larger queue filling on a slow machine must not keep a seek or a
// pause waiting). At a song's end the next queued song goes on in the same
// stream, so there is no gap between them. The page hears of a stream's end
// only after the blocks before it, and of none where a song follows (it
// would stop at the last block it knows of).
const PUMP_SLICE_MS = 12;
let pumpLater = 0;
function pump() {
    clearTimeout(pumpLater);
    pumpLater = 0;
    if (!current || !playing || waiting) return;
    timed('render', pumpSlice);
}
function pumpSlice() {
    let blocks = [];
    let endSerial = null;
    const tell = () => { if (blocks.length) postMessage({ type: 'blocks', blocks }); blocks = []; };
    const began = performance.now();
    while (current && outstanding < BUFFER_SECONDS * rate) {
        if (blocks.length && performance.now() - began > PUMP_SLICE_MS) { pumpLater = setTimeout(pump, 0); break; }
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
        await ready;
        rate = msg.rate;
        listen(msg.port);
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
        if (current && msg.heardMs != null) seekTo(msg.heardMs);
        pump();
    },
    load(msg) {
        waiting = null;
        stopIndex();
        if (current) current.song.close();
        current = next = null;
        flush();
        const r = open(msg.entry, msg.settings);
        if (r.error) return postMessage({ type: 'failed', id: msg.id, error: r.error });
        current = { id: msg.id, song: r.song, settings: msg.settings, entry: msg.entry };
        startIndex(current);
        if (msg.startMs) seekTo(msg.startMs);
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
        seekTo(msg.ms);
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
            startIndex(c);
        }
        if (current && msg.heardMs != null) {
            flush();
            seekTo(msg.heardMs);
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
        waiting = null;
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
    queue = queue.then(() => {
        if (e.data.epoch != null) epoch = e.data.epoch;
        return timed(e.data.type, () => handlers[e.data.type]?.(e.data));
    }).catch((err) => {
        postMessage({ type: 'error', message: String(err && err.message || err) });
    });
};
