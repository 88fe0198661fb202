// libvelk's C interface (velk.h) as compiled to WebAssembly, read from JS:
// the same calls and structs every other host uses, with the structs'
// wasm32 layouts (size_t and pointers are 4 bytes, int64_t is 8-aligned).
import createVelk from './velk.mjs';

export const EMULATORS = { default: 0, satoh: 1, nuked: 2, woody: 3, ken: 4 };
export const ERROR_NAMES = ['ok', 'invalid argument', 'out of memory', 'file', 'format', 'no bank', 'bank', 'busy'];

// Loads the library. `wasmBinary` (the bytes of velk.wasm) is optional in a
// browser, where velk.wasm beside this file is compiled as it downloads (in
// the workers that call this, never on the page's thread); node passes it.
export async function loadVelk(wasmBinary) {
    const module = wasmBinary ? await WebAssembly.compile(wasmBinary) : await compileFetched(new URL('./velk.wasm', import.meta.url));
    const m = await createVelk({
        instantiateWasm(imports, done) {
            WebAssembly.instantiate(module, imports).then((instance) => done(instance, module));
            return {};
        },
        print() {}, printErr() {} });
    return new Velk(m);
}

async function compileFetched(url) {
    const response = await fetch(url);
    if (!response.ok) throw new Error(`velk.wasm: ${response.status}`);
    if (WebAssembly.compileStreaming && /application\/wasm/.test(response.headers.get('content-type') || '')) {
        return WebAssembly.compileStreaming(response);
    }
    // A host that sends another type: compiled from the whole download.
    return WebAssembly.compile(await response.arrayBuffer());
}

export class Velk {
    constructor(m) {
        this.m = m;
        this.text = (ptr) => (ptr ? m.UTF8ToString(ptr) : null);
    }
    // Views are made anew for each read: memory may grow between calls.
    get view() { return new DataView(this.m.HEAPU8.buffer); }
    get u8() { return this.m.HEAPU8; }

    version() { return this.text(this.m._velk_version_string()); }

    copyIn(bytes) {
        if (!bytes || bytes.length === 0) return 0;
        const ptr = this.m._malloc(bytes.length);
        if (!ptr) throw new Error('out of memory');
        this.u8.set(bytes, ptr);
        return ptr;
    }
    string(s) {
        const bytes = new TextEncoder().encode(s + '\0');
        return this.copyIn(bytes);
    }

    // Opens a song from its bytes with the bank's bytes (or null) and the
    // lyric file's (or null). Returns a Song; song.error is set (code and
    // the library's message) when it cannot play.
    open(songBytes, bankBytes, { rate = 48000, emulator = 'nuked', pitchBends = false, location = null, lyrics = null } = {}) {
        const m = this.m;
        const opts = m._malloc(32);
        m._velk_options_init(opts);
        const v = this.view;
        v.setInt32(opts + 4, rate, true);
        v.setInt32(opts + 8, 2, true);
        v.setInt32(opts + 12, EMULATORS[emulator] ?? 0, true);
        v.setInt32(opts + 16, pitchBends ? 1 : 0, true);
        const loc = location ? this.string(location) : 0;
        this.view.setUint32(opts + 24, loc, true);
        const s = this.copyIn(songBytes), b = this.copyIn(bankBytes);
        const out = m._malloc(4);
        const code = m._velk_open_memory(s, songBytes.length, b, bankBytes ? bankBytes.length : 0, opts, out);
        const handle = this.view.getUint32(out, true);
        for (const p of [opts, loc, s, b, out]) if (p) m._free(p);
        const song = new Song(this, handle);
        if (code !== 0) {
            song.error = { code, name: ERROR_NAMES[code] || String(code), message: handle ? this.text(m._velk_error_message(handle)) : 'out of memory' };
            song.close();
            return song;
        }
        if (lyrics && lyrics.length) song.setLyrics(lyrics);
        return song;
    }
}

const VOICE_STATE = 16, NOTE = 48, HIGHLIGHT = 24, TEMPO = 32, PITCH = 24;

export class Song {
    constructor(velk, handle) {
        this.velk = velk;
        this.m = velk.m;
        this.h = handle;
        this.error = null;
        this.buffer = 0;
        this.bufferFrames = 0;
        this.scratch = this.m._malloc(64);
    }
    close() {
        if (this.h) this.m._velk_close(this.h);
        if (this.buffer) this.m._free(this.buffer);
        if (this.scratch) this.m._free(this.scratch);
        this.h = this.buffer = this.scratch = 0;
    }
    message() { return this.velk.text(this.m._velk_error_message(this.h)); }
    check(code) {
        if (code !== 0) throw new Error(this.message() || ERROR_NAMES[code]);
    }

    get title() { return this.velk.text(this.m._velk_title(this.h)) || ''; }
    get lengthMs() { return Number(this.m._velk_length_ms(this.h)); }
    get positionMs() { return Number(this.m._velk_position_ms(this.h)); }
    get sampleRate() { return this.m._velk_sample_rate(this.h); }
    get voiceCount() { return this.m._velk_voice_count(this.h); }
    voiceName(i) { return this.velk.text(this.m._velk_voice_name(this.h, i)); }
    voiceIsRhythm(i) { return this.m._velk_voice_is_rhythm(this.h, i) !== 0; }

    seek(ms) { this.check(this.m._velk_seek_ms(this.h, BigInt(Math.max(0, Math.round(ms))))); }
    setMuted(mask) { this.check(this.m._velk_set_muted_voices(this.h, mask >>> 0)); }
    setTempo(t) { this.check(this.m._velk_set_tempo(this.h, t)); }
    get tempo() { return this.m._velk_tempo(this.h); }
    setTranspose(n) { this.check(this.m._velk_set_transpose(this.h, n)); }
    get transpose() { return this.m._velk_transpose(this.h); }
    // 0 down to -47.25 dB in the chip's 0.75 dB steps.
    setVoiceGain(voice, db) { this.check(this.m._velk_set_voice_gain(this.h, voice, db)); }
    voiceGain(voice) { return this.m._velk_voice_gain(this.h, voice); }
    // The song's beats a minute where it is, as heard (the listener's tempo in).
    get bpm() { return (this.m._velk_tick_rate(this.h) * 60 * this.tempo) / Math.max(1, this.ticksPerBeat); }

    // (A library built without snapshots has no exact seeks.)
    get hasSnapshots() { return typeof this.m._velk_seek_index_new === 'function'; }
    seekIsExact(ms) { return this.hasSnapshots && this.m._velk_seek_is_exact(this.h, BigInt(Math.max(0, Math.round(ms)))) === 1; }
    get snapshotReachMs() { return this.hasSnapshots ? Number(this.m._velk_snapshot_reach_ms(this.h)) : 0; }
    get snapshotBytes() { return this.hasSnapshots ? this.m._velk_snapshot_bytes(this.h) >>> 0 : 0; }
    // An unheard copy that renders ahead and hands its snapshots to this
    // song, so that seeks become exact (build() it in slices).
    seekIndex() {
        if (!this.hasSnapshots) throw new Error('this library has no seek index');
        const out = this.scratch;
        this.check(this.m._velk_seek_index_new(this.h, out));
        return new SeekIndex(this.m, this.velk.view.getUint32(out, true));
    }

    // The song's loudness (BS.1770) and peaks under the current controls:
    // {integratedLufs, samplePeak, truePeak, trackGainDb}. It renders the song
    // whole, unheard; null where this build of the library cannot measure.
    loudness() {
        if (!this.m._velk_measure_loudness) return null;
        const code = this.m._velk_measure_loudness(this.h, this.scratch);
        if (code !== 0) return null;
        const v = this.velk.view, p = this.scratch;
        return { integratedLufs: v.getFloat64(p, true), samplePeak: v.getFloat64(p + 8, true),
                 truePeak: v.getFloat64(p + 16, true), trackGainDb: v.getFloat64(p + 24, true) };
    }

    // Renders up to `frames` stereo frames; returns an Int16Array view of
    // the library's buffer (valid until the next call) of frames * 2 values.
    render(frames) {
        if (frames > this.bufferFrames) {
            if (this.buffer) this.m._free(this.buffer);
            this.buffer = this.m._malloc(frames * 4);
            this.bufferFrames = frames;
        }
        const n = this.m._velk_render(this.h, this.buffer, frames);
        if (n < 0) throw new Error(this.message() || 'render failed');
        return new Int16Array(this.m.HEAPU8.buffer, this.buffer, n * 2);
    }

    // Each voice as it is at the position: [{sounding, key, level, instrument}].
    voiceStates() {
        const out = [];
        for (let i = 0; i < this.voiceCount; i++) {
            this.check(this.m._velk_voice_state_at(this.h, i, this.scratch));
            const v = this.velk.view, p = this.scratch;
            out.push({ sounding: v.getInt32(p, true) !== 0, key: v.getInt32(p + 4, true),
                       instrument: this.velk.text(v.getUint32(p + 8, true)) || '', level: v.getFloat32(p + 12, true) });
        }
        return out;
    }

    notes() {
        const count = this.m._velk_note_count(this.h), out = new Array(count);
        for (let i = 0; i < count; i++) {
            this.check(this.m._velk_note_at(this.h, i, this.scratch));
            const v = this.velk.view, p = this.scratch;
            out[i] = { voice: v.getInt32(p, true), key: v.getInt32(p + 4, true), velocity: v.getInt32(p + 8, true),
                       startTick: v.getInt32(p + 12, true), endTick: v.getInt32(p + 16, true),
                       startMs: Number(v.getBigInt64(p + 24, true)), endMs: Number(v.getBigInt64(p + 32, true)),
                       instrument: this.velk.text(v.getUint32(p + 40, true)) || '' };
        }
        return out;
    }
    get ticksPerBeat() { return this.m._velk_ticks_per_beat(this.h); }
    tempos() {
        const count = this.m._velk_tempo_count(this.h), out = [];
        for (let i = 0; i < count; i++) {
            this.check(this.m._velk_tempo_at(this.h, i, this.scratch));
            const v = this.velk.view, p = this.scratch;
            out.push({ tick: v.getInt32(p, true), timeMs: Number(v.getBigInt64(p + 8, true)),
                       bpm: v.getFloat64(p + 16, true), ticksPerSecond: v.getFloat64(p + 24, true) });
        }
        return out;
    }
    pitches() {
        const count = this.m._velk_pitch_count(this.h), out = [];
        for (let i = 0; i < count; i++) {
            this.check(this.m._velk_pitch_at(this.h, i, this.scratch));
            const v = this.velk.view, p = this.scratch;
            out.push({ voice: v.getInt32(p, true), tick: v.getInt32(p + 4, true),
                       timeMs: Number(v.getBigInt64(p + 8, true)), semitones: v.getFloat64(p + 16, true) });
        }
        return out;
    }

    // Returns null when read, else the library's reason they were refused.
    setLyrics(bytes) {
        const p = this.velk.copyIn(bytes);
        const code = this.m._velk_set_lyrics(this.h, p, bytes.length);
        if (p) this.m._free(p);
        return code === 0 ? null : this.message();
    }
    lyricsProblem() { return this.velk.text(this.m._velk_lyrics_problem(this.h)); }
    lyrics() {
        const m = this.m, credits = [], lines = [], highlights = [];
        for (let i = 0; i < m._velk_lyrics_credit_count(this.h); i++) credits.push(this.velk.text(m._velk_lyrics_credit(this.h, i)));
        for (let i = 0; i < m._velk_lyrics_line_count(this.h); i++) lines.push(this.velk.text(m._velk_lyrics_line(this.h, i)));
        const count = m._velk_lyrics_highlight_count(this.h);
        for (let i = 0; i < count; i++) {
            this.check(m._velk_lyrics_highlight(this.h, i, this.scratch));
            const v = this.velk.view, p = this.scratch;
            highlights.push({ timeMs: Number(v.getBigInt64(p, true)), line: v.getInt32(p + 8, true),
                              first: v.getUint32(p + 12, true), end: v.getUint32(p + 16, true) });
        }
        return { credits, lines, highlights };
    }

    // Everything the page shows that does not change while it plays.
    describe() {
        const voices = [];
        for (let i = 0; i < this.voiceCount; i++) voices.push({ name: this.voiceName(i), rhythm: this.voiceIsRhythm(i) });
        return { title: this.title, lengthMs: this.lengthMs, voices, notes: this.notes(), ticksPerBeat: this.ticksPerBeat,
                 tempos: this.tempos(), lyrics: this.lyrics(), lyricsProblem: this.lyricsProblem() };
    }
}

export class SeekIndex {
    constructor(m, handle) { this.m = m; this.h = handle; this.done = false; }
    // Renders up to `budgetMs` more of song time; true once the song is indexed.
    build(budgetMs) {
        if (!this.h || this.done) return this.done;
        const r = this.m._velk_seek_index_build(this.h, BigInt(Math.max(1, Math.round(budgetMs))));
        if (r < 0) throw new Error('seek index failed');
        this.done = r === 1;
        return this.done;
    }
    get progressMs() { return this.h ? Number(this.m._velk_seek_index_progress_ms(this.h)) : 0; }
    free() { if (this.h) this.m._velk_seek_index_free(this.h); this.h = 0; }
}
