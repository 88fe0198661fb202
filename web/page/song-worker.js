// Reads songs off the page's thread: titles and lengths for the list (a
// hostile file can take the library's time, never the page's), the score
// and lyrics of the song being shown, whole renders for export, and songs'
// loudness for even loudness (rendered in slices, so that the other asks
// are answered between them).
import { loadVelk } from './velk-api.js';
import { wavFile } from './writers.js';
import { LoudnessMeter } from './loudness.js';

const ready = loadVelk();

function open(velk, entry, settings = {}, rate = 44100) {
    return velk.open(entry.bytes, entry.bank, { rate, emulator: settings.emulator || 'nuked',
                                                pitchBends: !!settings.pitchBends, location: entry.location,
                                                lyrics: entry.lyrics });
}

const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

const handlers = {
    // The loudness as the song sounds unmuted at normal tempo and key, with
    // its emulator; measured here in JS from the library's render.
    async loudness(velk, { entry, settings }) {
        const rate = 48000, song = open(velk, entry, settings, rate);
        if (song.error) return { error: song.error };
        const meter = new LoudnessMeter(rate);
        try {
            // Half the time at most: on a phone's few cores the render
            // thread plays beside it.
            for (let began = performance.now(); ;) {
                const pcm = song.render(16384);
                if (pcm.length === 0) break;
                meter.add(pcm);
                const busy = performance.now() - began;
                if (busy > 20) { await pause(busy); began = performance.now(); }
            }
        } finally {
            song.close();
        }
        return meter.result();
    },
    probe(velk, { entry }) {
        const song = open(velk, entry);
        if (song.error) return { error: song.error };
        const info = { title: song.title, lengthMs: song.lengthMs, lyricsProblem: song.lyricsProblem() };
        song.close();
        return info;
    },
    describe(velk, { entry }) {
        const song = open(velk, entry);
        if (song.error) return { error: song.error };
        const info = song.describe();
        song.close();
        return info;
    },
    // The song as heard with the listener's settings, as a WAV file; the
    // page shows the progress.
    export(velk, { entry, settings, rate, id }) {
        const song = open(velk, entry, settings, rate);
        if (song.error) return { error: song.error };
        song.setMuted(settings.muted >>> 0);
        song.setTempo(settings.tempo);
        song.setTranspose(settings.transpose);
        const parts = [];
        let frames = 0, lastReport = 0;
        const length = Math.max(1, song.lengthMs);
        for (;;) {
            const pcm = song.render(8192);
            if (pcm.length === 0) break;
            parts.push(pcm.slice());
            frames += pcm.length / 2;
            if (performance.now() - lastReport > 100) {
                lastReport = performance.now();
                postMessage({ id, progress: Math.min(1, song.positionMs / length) });
            }
        }
        song.close();
        const wav = wavFile(parts, frames, rate);
        return { wav, transfer: [wav] };
    },
};

onmessage = async (e) => {
    const velk = await ready;
    let reply;
    try {
        reply = await handlers[e.data.type](velk, e.data);
    } catch (err) {
        reply = { error: { name: 'error', message: String(err && err.message || err) } };
    }
    const transfer = reply.transfer || [];
    delete reply.transfer;
    postMessage({ id: e.data.id, done: true, ...reply }, transfer);
};
