// The page's side of playback: the AudioContext and its graph (output
// worklet -> volume -> tap -> speakers), the render worker, and the
// timeline of rendered blocks, from which it tells what is being heard:
// the block whose start time (reported by the worklet in AudioContext time)
// is the latest at or before currentTime minus the output latency.
export class Player extends EventTarget {
    constructor() {
        super();
        this.ctx = null;
        this.blocks = new Map();   // serial -> {songId, startMs, endMs, frames, states, time}
        this.started = [];         // serials in playing order with their context start times
        this.pendingStarts = new Map();
        this.songId = null;        // the song being loaded or played (newest)
        this.heardSongId = null;
        this.playing = false;
        this.settings = { emulator: 'nuked', pitchBends: false, muted: 0, tempo: 1, transpose: 0 };
        this.nextId = 1;
    }

    // Everything that takes time is done before the first click: the
    // context (suspended until a gesture), the worklet, the library.
    async prepare() {
        this.ctx = new AudioContext({ latencyHint: 'interactive' });
        await this.ctx.audioWorklet.addModule(new URL('./output-worklet.js', import.meta.url));
        this.output = new AudioWorkletNode(this.ctx, 'velk-output', { numberOfInputs: 0, outputChannelCount: [2] });
        this.volume = new GainNode(this.ctx, { gain: 1 });
        this.tap = new AudioWorkletNode(this.ctx, 'velk-tap', { outputChannelCount: [2] });
        this.output.connect(this.volume).connect(this.tap).connect(this.ctx.destination);
        this.worker = new Worker(new URL('./engine-worker.js', import.meta.url), { type: 'module' });
        const channel = new MessageChannel();
        this.output.port.postMessage({ type: 'worker-port', port: channel.port1 }, [channel.port1]);
        this.output.port.onmessage = (e) => this.onStarted(e.data);
        const ready = new Promise((resolve, reject) => {
            this.worker.onmessage = (e) => {
                if (e.data.type === 'ready') resolve(e.data.version);
                else if (e.data.type === 'fatal') reject(new Error(e.data.message));
                else this.onWorker(e.data);
            };
        });
        this.worker.postMessage({ type: 'init', rate: this.ctx.sampleRate, port: channel.port2 }, [channel.port2]);
        this.version = await ready;
        this.worker.onmessage = (e) => this.onWorker(e.data);
    }

    get rate() { return this.ctx.sampleRate; }
    get latency() { return (this.ctx.outputLatency || 0) + (this.ctx.baseLatency || 0); }
    get heardTime() { return this.ctx.currentTime - this.latency; }

    // Plays `entry` ({bytes, bank, lyrics, location}); resolves with the
    // song's title and length, or rejects with the library's error.
    load(entry, startMs = 0) {
        const id = this.nextId++;
        this.songId = id;
        this.resetTimeline();
        this.awaitingFirst = true;
        this.ctx.resume();
        this.setPaused(false);
        this.worker.postMessage({ type: 'load', id, entry: pick(entry), settings: this.settings, startMs });
        return new Promise((resolve, reject) => { this.pending = { id, resolve, reject }; });
    }

    // The song that follows the current one without a gap (null: none).
    queueNext(entry) {
        const id = entry ? this.nextId++ : 0;
        this.queued = entry ? { id, entry } : null;
        this.worker.postMessage({ type: 'queue', id, entry: entry ? pick(entry) : null, settings: this.settings });
    }

    setPaused(paused) {
        this.playing = !paused;
        this.output.port.postMessage({ type: 'pause', paused });
        this.worker.postMessage({ type: 'play', playing: !paused });
        if (!paused) this.ctx.resume();
        this.dispatchEvent(new Event('state'));
    }

    seek(ms) {
        this.resetTimeline(ms);
        this.awaitingFirst = true;
        this.worker.postMessage({ type: 'seek', ms });
    }

    setVolume(v) { this.volume.gain.setTargetAtTime(v, this.ctx.currentTime, 0.01); }

    change(settings) {
        Object.assign(this.settings, settings);
        const heard = this.heard();
        const heardMs = heard ? heard.positionMs : null;
        if (heardMs != null) this.resetTimeline(heardMs);
        this.worker.postMessage({ type: 'settings', settings: { ...this.settings }, heardMs });
    }

    stop() {
        this.worker.postMessage({ type: 'stop' });
        this.resetTimeline();
        this.songId = null;
        this.playing = false;
    }

    resetTimeline(ms = null) {
        this.blocks.clear();
        this.pendingStarts.clear();
        this.started = [];
        this.hold = ms == null ? null : { songId: this.heardSongId ?? this.songId, positionMs: ms };
    }

    onWorker(m) {
        if (m.type === 'blocks') {
            for (const b of m.blocks) {
                this.blocks.set(b.serial, b);
                if (this.pendingStarts.has(b.serial)) {
                    this.markStarted(b, this.pendingStarts.get(b.serial));
                    this.pendingStarts.delete(b.serial);
                }
            }
        } else if (m.type === 'loaded' && this.pending?.id === m.id) {
            this.pending.resolve(m.info);
            this.pending = null;
        } else if (m.type === 'failed') {
            if (this.pending?.id === m.id) { this.pending.reject(m.error); this.pending = null; }
            else this.dispatchEvent(new CustomEvent('queue-failed', { detail: m }));
        } else if (m.type === 'rendered-end') {
            this.endSerial = m.serial;
        } else if (m.type === 'follows') {
            this.songId = m.songId;
        } else if (m.type === 'stats') {
            this.onStats?.(m);
        } else if (m.type === 'error') {
            console.error('render worker:', m.message);
        }
    }

    // A block may start before the worker's note of it arrives (it sends
    // them in batches): its start waits for it.
    onStarted(m) {
        if (m.type !== 'started') return;
        const b = this.blocks.get(m.serial);
        if (b) this.markStarted(b, m.time);
        else this.pendingStarts.set(m.serial, m.time);
    }

    markStarted(b, time) {
        b.time = time;
        this.started.push(b);
        if (this.awaitingFirst) {
            this.awaitingFirst = false;
            this.dispatchEvent(new CustomEvent('audible', { detail: time + this.latency }));
        }
    }

    // What is being heard: the song, its time, each voice's state; null
    // before anything plays. Old blocks are dropped as time passes.
    heard() {
        const t = this.heardTime;
        let i = -1;
        while (i + 1 < this.started.length && this.started[i + 1].time <= t) i++;
        if (i < 0) return this.hold ? { ...this.hold, states: null } : null;
        if (i > 0) {
            for (const old of this.started.splice(0, i)) this.blocks.delete(old.serial);
            i = 0;
        }
        const b = this.started[0];
        const into = Math.min(1, (t - b.time) * this.rate / b.frames);
        this.hold = null;
        if (this.heardSongId !== b.songId) {
            this.heardSongId = b.songId;
            this.dispatchEvent(new CustomEvent('song-heard', { detail: b.songId }));
        }
        const ended = into >= 1 && this.started.length === 1 && b.serial === this.endSerial && !this.blocks.has(b.serial + 1);
        return { songId: b.songId, positionMs: b.startMs + (b.endMs - b.startMs) * into, states: b.states, ended };
    }

    // The render thread's time against the audio it made.
    renderStats() {
        return new Promise((resolve) => {
            this.onStats = resolve;
            this.worker.postMessage({ type: 'stats' });
        });
    }

    // Records what reaches the speakers until stopped: {left, right} floats.
    record(on) {
        this.tap.port.postMessage({ type: 'record', on });
        if (on) return Promise.resolve();
        return new Promise((resolve) => {
            this.tap.port.onmessage = (e) => {
                const join = (chunks) => {
                    const out = new Float32Array(chunks.reduce((n, c) => n + c.length, 0));
                    let at = 0;
                    for (const c of chunks) { out.set(c, at); at += c.length; }
                    return out;
                };
                resolve({ left: join(e.data.left), right: join(e.data.right) });
            };
        });
    }
}

// The bytes the worker needs (copies: the list keeps its own).
function pick(e) {
    return { bytes: e.bytes, bank: e.bank || null, lyrics: e.lyrics || null, location: e.location || null };
}
