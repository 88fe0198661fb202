// Files the page saves: the song as a WAV file, its lyrics as an enhanced
// LRC file (the format velkrender --lrc writes) and its score as a
// Standard MIDI File, all from what the library gives.

// 16-bit stereo PCM from Int16Array parts of interleaved samples.
export function wavFile(parts, frames, rate) {
    const data = frames * 4, out = new ArrayBuffer(44 + data), v = new DataView(out);
    const ascii = (at, s) => { for (let i = 0; i < s.length; i++) v.setUint8(at + i, s.charCodeAt(i)); };
    ascii(0, 'RIFF'); v.setUint32(4, 36 + data, true); ascii(8, 'WAVE');
    ascii(12, 'fmt '); v.setUint32(16, 16, true); v.setUint16(20, 1, true); v.setUint16(22, 2, true);
    v.setUint32(24, rate, true); v.setUint32(28, rate * 4, true); v.setUint16(32, 4, true); v.setUint16(34, 16, true);
    ascii(36, 'data'); v.setUint32(40, data, true);
    const samples = new Int16Array(out, 44);
    let at = 0;
    for (const p of parts) { samples.set(p, at); at += p.length; }
    return out;
}

export function lrcTime(ms) {
    ms = Math.max(0, Math.floor(ms));
    const two = (n) => String(n).padStart(2, '0');
    return `${two(Math.floor(ms / 60000))}:${two(Math.floor(ms / 1000) % 60)}.${two(Math.floor(ms / 10) % 100)}`;
}

const tagValue = (s) => s.replaceAll(']', ')').trim();

// Highlight offsets are UTF-8 bytes; lines are cut as bytes.
export function lrcText({ credits, lines, highlights }, title, program = 'Velk') {
    const enc = new TextEncoder(), dec = new TextDecoder();
    let out = '';
    if (tagValue(title)) out += `[ti:${tagValue(title)}]\n`;
    const who = credits.map(tagValue).filter(Boolean).join(', ');
    if (who) out += `[ar:${who}]\n`;
    out += `[re:${program}]\n`;
    for (let i = 0; i < highlights.length;) {
        let j = i;
        while (j < highlights.length && highlights[j].line === highlights[i].line) j++;
        const bytes = enc.encode(lines[highlights[i].line] || '');
        let first = 0, end = bytes.length;
        while (first < end && bytes[first] === 32) first++;
        while (end > first && bytes[end - 1] === 32) end--;
        const marks = new Map();
        for (const h of highlights.slice(i, j)) {
            if (h.first >= end) continue;
            const at = Math.max(h.first, first);
            marks.set(at, Math.min(marks.get(at) ?? Infinity, h.timeMs));
        }
        let line = `[${lrcTime(highlights[i].timeMs)}]`, written = first, last = highlights[i].timeMs;
        for (const [at, ms] of [...marks].sort((a, b) => a[0] - b[0])) {
            if (ms < last) continue;  // readers expect a line's times to go forward
            line += dec.decode(bytes.subarray(written, at)) + `<${lrcTime(ms)}>`;
            written = at;
            last = ms;
        }
        out += line + dec.decode(bytes.subarray(written, end)) + '\n';
        i = j;
    }
    return out;
}

// Type 1: a tempo track, then a track per voice that plays. Voices keep
// their own channels (channel 10, General MIDI's drums, is skipped: the
// rhythm voices' keys are pitches, not drum keys).
export function midiFile({ notes, tempos, ticksPerBeat, voices, title }) {
    const bytes = [];
    const u32 = (n) => [(n >>> 24) & 255, (n >>> 16) & 255, (n >>> 8) & 255, n & 255];
    const vlq = (n) => { const out = [n & 127]; while ((n >>>= 7)) out.unshift((n & 127) | 128); return out; };
    const text = (type, s) => { const t = [...new TextEncoder().encode(s)]; return [0xff, type, ...vlq(t.length), ...t]; };
    const track = (events) => {
        events.sort((a, b) => a.tick - b.tick || a.order - b.order);
        const body = [];
        let now = 0;
        for (const e of events) { body.push(...vlq(e.tick - now), ...e.data); now = e.tick; }
        body.push(0, 0xff, 0x2f, 0);
        return [0x4d, 0x54, 0x72, 0x6b, ...u32(body.length), ...body];
    };
    const tempoEvents = [{ tick: 0, order: 0, data: text(3, title || '') }];
    for (const t of tempos) {
        const us = Math.round(60e6 / t.bpm);
        tempoEvents.push({ tick: t.tick, order: 1, data: [0xff, 0x51, 3, (us >> 16) & 255, (us >> 8) & 255, us & 255] });
    }
    const tracks = [track(tempoEvents)];
    voices.forEach((voice, v) => {
        const mine = notes.filter((n) => n.voice === v);
        if (!mine.length) return;
        const ch = v < 9 ? v : v + 1;
        const events = [{ tick: 0, order: 0, data: text(3, voice.name) }];
        let instrument = null;
        for (const n of mine) {
            if (n.instrument !== instrument) {
                instrument = n.instrument;
                events.push({ tick: n.startTick, order: 1, data: text(4, instrument) });
            }
            events.push({ tick: n.startTick, order: 2, data: [0x90 | ch, n.key, n.velocity] });
            events.push({ tick: n.endTick, order: 0, data: [0x80 | ch, n.key, 0] });
        }
        tracks.push(track(events));
    });
    bytes.push(0x4d, 0x54, 0x68, 0x64, ...u32(6), 0, 1, (tracks.length >> 8) & 255, tracks.length & 255,
               (ticksPerBeat >> 8) & 255, ticksPerBeat & 255);
    for (const t of tracks) for (const b of t) bytes.push(b);
    return new Uint8Array(bytes);
}
