// What the page recorded at its speakers against the library's render.

// Where `ref` (int16, interleaved) sits in `rec` (float, left and right),
// by 512 frames of it found whole: the first after any leading silence, or,
// where an underrun broke those up as the audio started, one of the next
// few (within 16 384 frames; `from` says which frame of the render); null
// when none is there. From there on each recorded frame must be the
// render's next one, save for silence the speakers were given when the
// render thread fell behind (an underrun: counted in `gaps`, the music
// going on after it where it stopped); any other frame that differs is
// `bad`.
export function compare(rec, ref) {
    let s = 0;
    while (s < ref.length && ref[s] === 0) s++;
    const frame0 = s >> 1, frames = ref.length / 2, L = rec.left, R = rec.right, want = (i) => ref[2 * i] / 32768;
    for (let from = frame0; from + 512 <= frames && from < frame0 + 16384; from += 1024) {
        // The first anchor also holds the render's leading silence to the recording.
        const lead = from === frame0 ? frame0 : 0;
        for (let o = lead; o + 512 < L.length; o++) {
            let k = 0;
            while (k < 512 && L[o + k] === want(from + k)) k++;
            if (k < 512) continue;
            let i = from - lead, j = o - lead, bad = 0, gaps = 0, inGap = false, first = -1;
            while (i < frames && j < L.length) {
                const same = L[j] === ref[2 * i] / 32768 && R[j] === ref[2 * i + 1] / 32768;
                if (same) { i++; j++; inGap = false; continue; }
                if (L[j] === 0 && R[j] === 0) { if (!inGap) gaps++; inGap = true; j++; continue; }
                if (first < 0) first = i;
                bad++; i++; j++;
            }
            const c = { frames: i - (from - lead), bad, gaps, ...(from > frame0 ? { from } : {}) };
            return bad ? { ...c, firstBad: first } : c;
        }
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
