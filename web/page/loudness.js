// A song's loudness as ITU-R BS.1770-4 measures it, from its int16 stereo
// render fed in pieces: K-weighting (the shelf and the high pass, their
// coefficients worked out for the rate as libebur128 does), 400 ms blocks
// every 100 ms, the absolute gate at -70 LUFS and the relative one 10 LU
// below. Also the sample peak and the true peak (4x oversampled). The
// ReplayGain 2.0 track gain is -18 LUFS minus the integrated loudness.
export const REFERENCE_LUFS = -18;

function kWeighting(rate) {
    // The shelf: +4 dB above about 1.7 kHz.
    let K = Math.tan((Math.PI * 1681.974450955533) / rate);
    const Vh = Math.pow(10, 3.999843853973347 / 20), Vb = Math.pow(Vh, 0.4996667741545416), Q1 = 0.7071752369554196;
    let a0 = 1 + K / Q1 + K * K;
    const shelf = { b0: (Vh + (Vb * K) / Q1 + K * K) / a0, b1: (2 * (K * K - Vh)) / a0, b2: (Vh - (Vb * K) / Q1 + K * K) / a0,
                    a1: (2 * (K * K - 1)) / a0, a2: (1 - K / Q1 + K * K) / a0 };
    // The high pass at about 38 Hz.
    K = Math.tan((Math.PI * 38.13547087602444) / rate);
    const Q2 = 0.5003270373238773;
    a0 = 1 + K / Q2 + K * K;
    const pass = { b0: 1, b1: -2, b2: 1, a1: (2 * (K * K - 1)) / a0, a2: (1 - K / Q2 + K * K) / a0 };
    return [shelf, pass];
}

// 4x oversampling: a windowed sinc of 12 taps per phase.
const TAPS = 12, PHASES = 4;
const interpolation = (() => {
    const h = [];
    for (let p = 1; p < PHASES; p++) {
        const row = new Float64Array(TAPS);
        for (let k = 0; k < TAPS; k++) {
            const x = k - TAPS / 2 + 1 - p / PHASES;   // distance from the point between samples
            const w = 0.5 + 0.5 * Math.cos((Math.PI * x) / (TAPS / 2));
            row[k] = x === 0 ? 1 : (Math.sin(Math.PI * x) / (Math.PI * x)) * w;
        }
        h.push(row);
    }
    return h;
})();

export class LoudnessMeter {
    constructor(rate) {
        this.rate = rate;
        this.filters = kWeighting(rate);
        this.state = [new Float64Array(4), new Float64Array(4), new Float64Array(4), new Float64Array(4)]; // [ch*2 + stage]
        this.step = Math.round(rate / 10);       // 100 ms
        this.stepFill = 0;
        this.stepEnergy = 0;
        this.recent = [];                         // the last four steps' energies
        this.blocks = [];                         // each 400 ms block's mean square (L + R)
        this.samplePeak = 0;
        this.truePeak = 0;
        // The last TAPS samples of each channel, twice over, so that a window
        // is always one run: oldest at h[at + 1].
        this.history = [new Float64Array(2 * TAPS), new Float64Array(2 * TAPS)];
        this.at = [TAPS - 1, TAPS - 1];
    }

    // Interleaved stereo int16 (or anything indexable), any number of frames.
    add(pcm) {
        const frames = pcm.length >> 1, [f1, f2] = this.filters, st = this.state;
        for (let i = 0; i < frames; i++) {
            let energy = 0;
            for (let c = 0; c < 2; c++) {
                const x = pcm[2 * i + c] / 32768;
                this.peaks(c, x);
                // Two biquads, direct form II transposed.
                const s1 = st[2 * c], s2 = st[2 * c + 1];
                const y1 = f1.b0 * x + s1[0];
                s1[0] = f1.b1 * x - f1.a1 * y1 + s1[1];
                s1[1] = f1.b2 * x - f1.a2 * y1;
                const y2 = f2.b0 * y1 + s2[0];
                s2[0] = f2.b1 * y1 - f2.a1 * y2 + s2[1];
                s2[1] = f2.b2 * y1 - f2.a2 * y2;
                energy += y2 * y2;
            }
            this.stepEnergy += energy;
            if (++this.stepFill === this.step) this.endStep();
        }
    }

    endStep() {
        this.recent.push(this.stepEnergy);
        this.stepEnergy = 0;
        this.stepFill = 0;
        if (this.recent.length > 4) this.recent.shift();
        if (this.recent.length === 4) this.blocks.push((this.recent[0] + this.recent[1] + this.recent[2] + this.recent[3]) / (4 * this.step));
    }

    // The true peak is worked out only near loud crests: elsewhere an
    // oversampled point cannot reach the peak found so far.
    peaks(c, x) {
        const h = this.history[c];
        const at = (this.at[c] + 1) % TAPS;
        this.at[c] = at;
        h[at] = x;
        h[at + TAPS] = x;
        const a = Math.abs(x);
        if (a > this.samplePeak) this.samplePeak = a;
        if (a > this.truePeak) this.truePeak = a;
        const w = at + 1;   // the window h[w .. w + TAPS - 1], oldest first
        // A peak between the middle two samples is where one of them is a
        // crest of |x|, and it stands at most 3 dB above it here.
        const m0 = Math.abs(h[w + TAPS / 2 - 1]), m1 = Math.abs(h[w + TAPS / 2]);
        if (Math.max(m0, m1) < 0.7 * this.truePeak) return;
        if (m0 < Math.abs(h[w + TAPS / 2 - 2]) && m1 < Math.abs(h[w + TAPS / 2 + 1])) return;
        for (const row of interpolation) {
            let v = 0;
            for (let k = 0; k < TAPS; k++) v += row[k] * h[w + k];
            if (Math.abs(v) > this.truePeak) this.truePeak = Math.abs(v);
        }
    }

    // {integratedLufs, samplePeak, truePeak, trackGainDb}; -Infinity LUFS
    // (and no gain) for a song that never rises above the absolute gate.
    result() {
        const lufs = (z) => -0.691 + 10 * Math.log10(z);
        const loud = this.blocks.filter((z) => z > 0 && lufs(z) > -70);
        let integrated = -Infinity;
        if (loud.length) {
            const relative = lufs(loud.reduce((s, z) => s + z, 0) / loud.length) - 10;
            const kept = loud.filter((z) => lufs(z) > relative);
            integrated = lufs(kept.reduce((s, z) => s + z, 0) / kept.length);
        }
        return { integratedLufs: integrated, samplePeak: this.samplePeak, truePeak: this.truePeak,
                 trackGainDb: Number.isFinite(integrated) ? REFERENCE_LUFS - integrated : 0 };
    }
}
