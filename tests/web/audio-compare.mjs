// What the page recorded at its speakers against the library's render.

// Where `ref` (int16, interleaved) sits in `rec` (float, left and right),
// by its first 512 samples after any leading silence; null when absent.
// From there on each recorded frame must be the render's next one, save
// for silence the speakers were given when the render thread fell behind
// (an underrun: counted in `gaps`, the music going on after it where it
// stopped); any other frame that differs is `bad`.
export function compare(rec, ref) {
    let s = 0;
    while (s < ref.length && ref[s] === 0) s++;
    const frame0 = s >> 1, L = rec.left, R = rec.right, want = (i) => ref[2 * i] / 32768;
    for (let o = frame0; o + 512 < L.length; o++) {
        let k = 0;
        while (k < 512 && L[o + k] === want(frame0 + k)) k++;
        if (k < 512) continue;
        const frames = ref.length / 2;
        let i = 0, j = o - frame0, bad = 0, gaps = 0, inGap = false, first = -1;
        while (i < frames && j < L.length) {
            const same = L[j] === ref[2 * i] / 32768 && R[j] === ref[2 * i + 1] / 32768;
            if (same) { i++; j++; inGap = false; continue; }
            if (L[j] === 0 && R[j] === 0) { if (!inGap) gaps++; inGap = true; j++; continue; }
            if (first < 0) first = i;
            bad++; i++; j++;
        }
        return bad ? { frames: i, bad, gaps, firstBad: first } : { frames: i, bad, gaps };
    }
    return null;
}

// The page's side of a recording: floats as base64, so that engines whose
// drivers pass results as JSON text carry them at a third of the size.
export const encodeRecording = `(r) => {
    const b64 = (f) => { const u = new Uint8Array(f.buffer, f.byteOffset, f.byteLength); let s = '';
        for (let i = 0; i < u.length; i += 0x8000) s += String.fromCharCode.apply(null, u.subarray(i, i + 0x8000));
        return btoa(s); };
    return { left: b64(r.left), right: b64(r.right) };
}`;
export function decodeRecording(r) {
    const f = (s) => { const b = Buffer.from(s, 'base64'); return new Float32Array(b.buffer, b.byteOffset, b.length / 4); };
    return { left: f(r.left), right: f(r.right) };
}
