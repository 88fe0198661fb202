// The page's side of playback: the AudioContext and its graph (output
// worklet -> even loudness -> volume -> tap -> speakers), the render worker,
// and the timeline of rendered blocks, from which it tells what is being
// heard: the block whose start time (reported by the worklet in AudioContext
// time) is the latest at or before currentTime minus the output latency.
//
// A phone's life: the context is unlocked inside the first gesture, asks for
// the "playback" audio session where there is one (so the silent switch does
// not mute it), resumes after an interruption (a call, another app), and is
// made anew where the music was when its clock stays frozen (an output
// device or rate change can leave it so).
export class Player extends EventTarget {
    // `measure(entry, settings)` resolves with a song's loudness
    // ({trackGainDb, truePeak}) for even loudness, or null.
    constructor({ measure = null } = {}) {
        super();
        this.measure = measure;
        this.ctx = null;
        this.blocks = new Map();   // serial -> {songId, startMs, endMs, frames, states, time}
        this.started = [];         // serials in playing order with their context start times
        this.pendingStarts = new Map();
        this.songId = null;        // the song being loaded or played (newest)
        this.heardSongId = null;
        this.playing = false;
        this.settings = { emulator: 'nuked', pitchBends: false, muted: 0, tempo: 1, transpose: 0, gains: [] };
        this.nextId = 1;
        this.even = true;
        this.loudness = new Map();  // song bytes -> emulator -> Promise of the figures
        this.volumeLevel = 1;
        this.rebuilds = 0;
        this.epoch = 0;            // counts the page's requests that start a new stretch of audio
    }

    // At load only the render worker starts (it compiles the library as it
    // downloads, off the page's thread). The AudioContext costs the page's
    // thread much more than anything else at load (100-250 ms on a phone's
    // budget), so it is made when first needed: inside the first gesture,
    // where it starts running at once, or when a song is to play.
    prepare() {
        if (this.ready) return this.ready;
        this.worker = new Worker(new URL('./engine-worker.js', import.meta.url), { type: 'module' });
        this.ready = new Promise((resolve, reject) => {
            this.worker.onmessage = (e) => {
                if (e.data.type === 'ready') resolve(e.data.version);
                else if (e.data.type === 'fatal') reject(new Error(e.data.message));
                else this.onWorker(e.data);
            };
        }).then((version) => {
            this.worker.onmessage = (e) => this.onWorker(e.data);
            this.version = version;
        });
        return this.ready;
    }

    // The audio graph, wired to the render worker; made once, resolves when
    // a song can play.
    start() {
        if (!this.started_) {
            this.started_ = (async () => {
                const graph = this.buildGraph();  // the context now, in the caller's gesture
                const [port] = await Promise.all([graph, this.prepare()]);
                this.worker.postMessage({ type: 'init', rate: this.ctx.sampleRate, port }, [port]);
                this.watchLife();
            })();
        }
        return this.started_;
    }

    // The context and its nodes; returns the port the worker feeds the
    // worklet through.
    async buildGraph() {
        setAudioSession();
        const ctx = new AudioContext({ latencyHint: 'interactive' });
        this.ctx = ctx;
        await ctx.audioWorklet.addModule(new URL('./output-worklet.js', import.meta.url));
        this.output = new AudioWorkletNode(ctx, 'velk-output', { numberOfInputs: 0, outputChannelCount: [2] });
        this.leveller = new GainNode(ctx, { gain: this.evenGain() });
        this.volume = new GainNode(ctx, { gain: this.volumeLevel });
        this.tap = new AudioWorkletNode(ctx, 'velk-tap', { outputChannelCount: [2] });
        this.output.connect(this.leveller).connect(this.volume).connect(this.tap).connect(ctx.destination);
        const channel = new MessageChannel();
        this.output.port.postMessage({ type: 'worker-port', port: channel.port1 }, [channel.port1]);
        this.output.port.postMessage({ type: 'pause', paused: !this.playing });
        this.output.port.onmessage = (e) => this.onStarted(e.data);
        ctx.onstatechange = () => this.onContextState(ctx);
        return channel.port2;
    }

    // Called from inside the page's first gestures (a click, a key): the
    // one moment every browser lets audio start.
    unlock() {
        setAudioSession();
        if (!this.ctx) { this.start().catch(() => {}); return; }
        if (this.ctx.state === 'running') return;
        this.ctx.resume().catch(() => {});
        // Older iOS starts a context only once something has played in a gesture.
        const silence = this.ctx.createBufferSource();
        silence.buffer = this.ctx.createBuffer(1, 1, this.ctx.sampleRate);
        silence.connect(this.ctx.destination);
        silence.start();
    }

    // ---- Interruptions, devices, a frozen clock ---------------------------
    watchLife() {
        const back = () => { if (this.playing) this.resumeContext(); };
        document.addEventListener('visibilitychange', () => { if (document.visibilityState === 'visible') back(); });
        window.addEventListener('pageshow', back);
        window.addEventListener('focus', back);
        navigator.mediaDevices?.addEventListener?.('devicechange', () => this.checkClockSoon());
        // While playing, the clock must move; a context that says it runs
        // but whose clock stands still for CLOCK_STALL_MS is made anew.
        let last = -1, since = performance.now();
        setInterval(() => {
            const ctx = this.ctx;
            if (!this.playing || !ctx || ctx.state !== 'running' || this.rebuilding) { last = -1; since = performance.now(); return; }
            if (ctx.currentTime !== last) { last = ctx.currentTime; since = performance.now(); return; }
            if (performance.now() - since > CLOCK_STALL_MS) { last = -1; since = performance.now(); this.rebuild('frozen clock'); }
        }, 250);
    }

    onContextState(ctx) {
        if (ctx !== this.ctx) return;
        this.dispatchEvent(new CustomEvent('context-state', { detail: ctx.state }));
        // Safari says "interrupted"; others suspend the context themselves.
        if ((ctx.state === 'interrupted' || ctx.state === 'suspended') && this.playing && !this.interrupted) {
            this.interrupted = true;
            // Until the call ends the system refuses; ask again each second.
            const retry = () => {
                if (ctx !== this.ctx || !this.interrupted || !this.playing) return;
                this.resumeContext();
                setTimeout(retry, 1000);
            };
            setTimeout(retry, 1000);
        }
        if (ctx.state === 'running') this.interrupted = false;
    }

    async resumeContext() {
        const ctx = this.ctx;
        if (!ctx || ctx.state === 'running' || ctx.state === 'closed') return;
        try { await ctx.resume(); } catch { /* not allowed yet: the next gesture unlocks it */ }
        this.checkClockSoon();
    }

    // After a device change or a resume: the clock must move within a moment.
    checkClockSoon() {
        const ctx = this.ctx;
        if (!ctx || !this.playing) return;
        const t = ctx.currentTime;
        setTimeout(() => {
            if (ctx === this.ctx && this.playing && ctx.state === 'running' && ctx.currentTime === t) this.rebuild('clock stopped');
        }, CLOCK_STALL_MS);
    }

    // A new context where the music was: the worker renders on from the time
    // heard, at the new context's rate (reopening the song if it changed).
    async rebuild(why) {
        if (this.rebuilding) return;
        this.rebuilding = true;
        this.rebuilds++;
        const heard = this.heard();
        const old = this.ctx;
        try {
            old.onstatechange = null;
            old.close().catch(() => {});
            const port = await this.buildGraph();
            const heardMs = heard ? heard.positionMs : null;
            this.resetTimeline(heardMs);
            this.awaitingFirst = true;
            this.worker.postMessage({ type: 'rewire', rate: this.ctx.sampleRate, port, heardMs, playing: this.playing, epoch: ++this.epoch }, [port]);
            if (this.playing) this.ctx.resume().catch(() => {});
            this.dispatchEvent(new CustomEvent('rebuilt', { detail: why }));
        } finally {
            this.rebuilding = false;
        }
    }

    get rate() { return this.ctx ? this.ctx.sampleRate : 0; }
    get latency() { return (this.ctx.outputLatency || 0) + (this.ctx.baseLatency || 0); }
    get heardTime() { return this.ctx.currentTime - this.latency; }

    // Plays `entry` ({bytes, bank, lyrics, location}); resolves with the
    // song's title and length, or rejects with the library's error.
    load(entry, startMs = 0) {
        const id = this.nextId++;
        this.songId = id;
        if (this.seeking) { this.seeking = null; this.dispatchEvent(new CustomEvent('seeking', { detail: null })); }
        this.resetTimeline();
        this.awaitingFirst = true;
        this.ctx.resume().catch(() => {});
        this.setPaused(false);
        this.current = entry;
        this.levelFor(entry);
        this.worker.postMessage({ type: 'load', id, entry: pick(entry), settings: this.settings, startMs, epoch: ++this.epoch });
        return new Promise((resolve, reject) => { this.pending = { id, resolve, reject }; });
    }

    // ---- Even loudness: each song at the reference loudness --------------
    // The gain is the song's track gain, held below 1 / its true peak so it
    // never clips; it applies on the way to the speakers, smoothly.
    setEvenLoudness(on) {
        this.even = !!on;
        if (this.even && this.current && !this.currentLevel) this.levelFor(this.current);
        else this.applyLevel();
    }
    evenGain() {
        const l = this.even && this.currentLevel;
        if (!l || !Number.isFinite(l.trackGainDb)) return 1;
        const gain = Math.pow(10, l.trackGainDb / 20);
        return l.truePeak > 0 ? Math.min(gain, 0.999 / l.truePeak) : gain;
    }
    applyLevel() {
        if (this.leveller) this.leveller.gain.setTargetAtTime(this.evenGain(), this.ctx.currentTime, 0.05);
        this.dispatchEvent(new CustomEvent('level', { detail: { gain: this.evenGain(), loudness: this.currentLevel || null } }));
    }
    levelFor(entry) {
        const bytes = entry.bytes, emulator = this.settings.emulator;
        this.currentLevel = null;
        this.applyLevel();
        if (!this.measure || !bytes || !this.even) return;  // measured when first asked for
        let known = this.loudness.get(bytes);
        if (!known) this.loudness.set(bytes, known = new Map());
        if (!known.has(emulator)) {
            known.set(emulator, Promise.resolve(this.measure(pick(entry), { emulator, pitchBends: this.settings.pitchBends }))
                .catch(() => null));
        }
        known.get(emulator).then((l) => {
            if (this.current !== entry || this.settings.emulator !== emulator) return;
            this.currentLevel = l;
            this.applyLevel();
        });
    }

    // A voice's own volume: 0 down to -47.25 dB (the chip's steps of 0.75).
    setVoiceGain(voice, db) {
        const gains = [...(this.settings.gains || [])];
        gains[voice] = Math.max(-47.25, Math.min(0, Number(db) || 0));
        this.change({ gains });
    }

    // The song that follows the current one without a gap (null: none).
    queueNext(entry) {
        const id = entry ? this.nextId++ : 0;
        this.queued = entry ? { id, entry } : null;
        this.worker.postMessage({ type: 'queue', id, entry: entry ? pick(entry) : null, settings: this.settings });
    }

    setPaused(paused) {
        this.playing = !paused;
        this.output?.port.postMessage({ type: 'pause', paused });
        this.worker.postMessage({ type: 'play', playing: !paused });
        if (!paused) this.ctx?.resume();
        this.dispatchEvent(new Event('state'));
    }

    seek(ms) {
        this.resetTimeline(ms);
        this.awaitingFirst = true;
        this.worker.postMessage({ type: 'seek', ms, epoch: ++this.epoch });
    }

    setVolume(v) {
        this.volumeLevel = v;
        if (this.volume) this.volume.gain.setTargetAtTime(v, this.ctx.currentTime, 0.01);
    }

    change(settings) {
        const emulatorBefore = this.settings.emulator;
        Object.assign(this.settings, settings);
        if (this.current && this.settings.emulator !== emulatorBefore) this.levelFor(this.current);
        const heard = this.heard();
        const heardMs = heard ? heard.positionMs : null;
        if (heardMs != null) this.resetTimeline(heardMs);
        this.worker.postMessage({ type: 'settings', settings: { ...this.settings }, heardMs, epoch: heardMs != null ? ++this.epoch : this.epoch });
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
        this.dispatchEvent(new Event('timeline'));
    }

    onWorker(m) {
        if (m.type === 'blocks') {
            for (const b of m.blocks) {
                // Blocks rendered before the latest load, seek or change were
                // dropped by the worklet: they must not count as heard.
                if (b.epoch !== this.epoch) continue;
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
        } else if (m.type === 'struggling') {
            // Nuked is the costliest emulator; satoh (the plug-in's) the next best.
            // Past the largest buffer the song would stutter: it goes on with
            // the lighter emulator, and the page is told so.
            const lighter = m.emulator === 'satoh' ? 'woody' : m.emulator === 'woody' ? null : 'satoh';
            if (lighter && this.settings.emulator === m.emulator) {
                this.change({ emulator: lighter });
                this.dispatchEvent(new CustomEvent('struggling', { detail: { emulator: lighter, from: m.emulator } }));
            }
        } else if (m.type === 'buffer') {
            this.dispatchEvent(new CustomEvent('buffer', { detail: m.seconds }));
        } else if (m.type === 'seeking') {
            // A far seek waits for the seek index: how far it has got.
            if (m.songId !== this.songId) return;
            this.seeking = m.done ? null : { targetMs: m.targetMs, fromMs: m.fromMs, reachMs: m.reachMs };
            this.dispatchEvent(new CustomEvent('seeking', { detail: this.seeking }));
        } else if (m.type === 'indexed') {
            this.dispatchEvent(new CustomEvent('indexed', { detail: m }));
        } else if (m.type === 'error') {
            console.error('render worker:', m.message);
        }
    }

    // A block may start before the worker's note of it arrives (it sends
    // them in batches): its start waits for it.
    onStarted(m) {
        if (m.type === 'underruns') return this.onUnderruns?.(m);
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
        if (!this.ctx) return this.hold ? { ...this.hold, states: null } : null;
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
        return { songId: b.songId, positionMs: b.startMs + (b.endMs - b.startMs) * into, states: b.states, bpm: b.bpm, ended };
    }

    // The render thread's time against the audio it made.
    renderStats() {
        return new Promise((resolve) => {
            this.onStats = resolve;
            this.worker.postMessage({ type: 'stats' });
        });
    }

    // For benchmarks: the render thread as on a machine `factor` times slower.
    slowRenderThread(factor) { this.worker.postMessage({ type: 'slowdown', factor }); }

    // How often the speakers ran dry since the context was made: {count, frames}.
    async underruns() {
        await this.start();
        return new Promise((resolve) => {
            this.onUnderruns = resolve;
            this.output.port.postMessage({ type: 'underruns' });
        });
    }

    // Records what reaches the speakers until stopped: {left, right} floats.
    async record(on) {
        await this.start();
        this.tap.port.postMessage({ type: 'record', on });
        if (on) return undefined;
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

const CLOCK_STALL_MS = 1500;

function setAudioSession() {
    // iOS: "playback" plays through the silent switch, as a music app does.
    try { if (navigator.audioSession && navigator.audioSession.type !== 'playback') navigator.audioSession.type = 'playback'; } catch { /* not settable here */ }
}

// The bytes the worker needs (copies: the list keeps its own).
function pick(e) {
    return { bytes: e.bytes, bank: e.bank || null, lyrics: e.lyrics || null, location: e.location || null };
}
