// The render thread: plays songs through libvelk off the page's thread and
// hands blocks of float samples straight to the output worklet over a
// MessagePort (no SharedArrayBuffer: static hosts need not send isolation
// headers). It keeps about BUFFER_SECONDS queued there, so a busy page
// never starves the speakers. With each block it sends the page the voices'
// states and song times at the block's start, for the pictures to follow
// what is heard rather than what is rendered ahead.
import { loadVelk } from './velk-api.js';

const BLOCK = 1024;          // frames: about 21 ms at 48 kHz, the pictures' step
const BUFFER_SECONDS = 0.4;  // queued ahead in the worklet

let velk, rate = 48000, port;
let current = null;          // {id, song, settings}
let next = null;             // the song that follows without a gap
let playing = false;
let generation = 0, outstanding = 0, blockSerial = 0, lastPosted = 0;

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
}

// Starts a new stretch of audio: the worklet drops what it holds.
function flush() {
    generation++;
    outstanding = 0;
    port.postMessage({ type: 'flush', generation });
}

// Time spent rendering against the audio it made (the benchmark reads it).
const stats = { busyMs: 0, frames: 0 };

function renderBlock() {
    const began = performance.now();
    const c = current;
    const startMs = c.song.positionMs;
    const states = c.song.voiceStates();
    const pcm = c.song.render(BLOCK);
    const frames = pcm.length / 2;
    const left = new Float32Array(frames), right = new Float32Array(frames);
    for (let i = 0; i < frames; i++) {
        left[i] = pcm[2 * i] / 32768;
        right[i] = pcm[2 * i + 1] / 32768;
    }
    const ended = frames < BLOCK;
    const serial = ++blockSerial;
    stats.busyMs += performance.now() - began;
    stats.frames += frames;
    if (frames > 0) {
        port.postMessage({ type: 'block', generation, serial, left, right }, [left.buffer, right.buffer]);
        outstanding += frames;
        lastPosted = serial;
    }
    return { serial, songId: c.id, startMs, endMs: c.song.positionMs, frames, states, ended };
}

// Renders until the worklet holds BUFFER_SECONDS. At a song's end the next
// queued song goes on in the same stream, so there is no gap between them.
function pump() {
    if (!current || !playing) return;
    const blocks = [];
    while (current && outstanding < BUFFER_SECONDS * rate) {
        const b = renderBlock();
        if (b.frames > 0) blocks.push(b);
        if (!b.ended) continue;
        if (!next) port.postMessage({ type: 'end', generation });
        // The song's last block is the last one that held frames.
        postMessage({ type: 'rendered-end', songId: current.id, serial: lastPosted });
        // Closed before the next opens: Ken's emulator serves one song at a time.
        current.song.close();
        current = null;
        if (!next) break;
        const r = open(next.entry, next.settings);
        if (r.error) {
            postMessage({ type: 'failed', id: next.id, error: r.error, queued: true });
            port.postMessage({ type: 'end', generation });
            next = null;
            break;
        }
        current = { ...next, song: r.song };
        next = null;
        postMessage({ type: 'follows', songId: current.id, afterSerial: lastPosted });
    }
    if (blocks.length) postMessage({ type: 'blocks', blocks });
}

const handlers = {
    async init(msg) {
        await ready;
        velk = await ready;
        rate = msg.rate;
        port = msg.port;
        port.onmessage = (e) => {
            if (e.data.type === 'consumed' && e.data.generation === generation) {
                outstanding -= e.data.frames;
                pump();
            }
        };
        postMessage({ type: 'ready', version: velk.version() });
    },
    load(msg) {
        if (current) current.song.close();
        current = next = null;
        flush();
        const r = open(msg.entry, msg.settings);
        if (r.error) return postMessage({ type: 'failed', id: msg.id, error: r.error });
        current = { id: msg.id, song: r.song, settings: msg.settings, entry: msg.entry };
        if (msg.startMs) r.song.seek(msg.startMs);
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
        current.song.seek(msg.ms);
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
            if (!reopen) { applyControls(c.song, s); continue; }
            const r = open(c.entry, s);
            if (r.error) { postMessage({ type: 'failed', id: c.id, error: r.error }); continue; }
            c.song.close();
            c.song = r.song;
            if (c === current && msg.heardMs != null) c.song.seek(msg.heardMs);
        }
        if (current && msg.heardMs != null) {
            flush();
            current.song.seek(msg.heardMs);
            pump();
        }
    },
    stats() {
        postMessage({ type: 'stats', ...stats, rate });
    },
    stop() {
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
