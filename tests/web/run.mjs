// The web player in headless Chromium (Debian's, driven by playwright-core):
// the shared songs listed from files and from a folder, what reaches the
// speakers against the library's render (the wasm under node, itself held
// to the native velkrender), a seek, the karaoke line, a muted voice, bad
// inputs, and a screenshot while playing.
//   node tests/web/run.mjs SITE_DIR
import { spawn, spawnSync } from 'node:child_process';
import { createRequire } from 'node:module';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { compare } from './audio-compare.mjs';

const top = path.resolve(path.dirname(new URL(import.meta.url).pathname), '../..');
const site = path.resolve(process.argv[2] || `${top}/build/web/site`);
const songs = path.resolve(process.env.VELK_SONGS_DIR || `${top}/../shared/songs`);
const inCi = !!process.env.CI && !['false', '0'].includes(process.env.CI);
const require = createRequire(`${top}/build/web/node_modules/`);
globalThis.require = require;  // this emscripten's loader under node asks for both
globalThis.__dirname = site;

let failures = 0;
const check = (ok, what, detail = '') => {
    console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}${detail ? `: ${detail}` : ''}`);
    if (!ok) failures++;
};
const skipOrFail = (why) => {
    if (inCi) { check(false, why, 'required under CI'); return; }
    console.log(`skip ${why}`);
};

if (!fs.existsSync(`${songs}/AMG0018.IMS`)) {
    skipOrFail(`the shared songs are not in ${songs}; skipping the browser tests`);
    process.exit(failures ? 1 : 0);
}
const song = (name) => fs.readFileSync(`${songs}/${name}`);
const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'velk-web-'));
process.on('exit', () => fs.rmSync(tmp, { recursive: true, force: true }));

// ---- The library's own render: the wasm under node, held to native once --
const { loadVelk } = await import(`${site}/velk-api.js`);
const velk = await loadVelk(fs.readFileSync(`${site}/velk.wasm`));
function libraryRender(rate, { seekMs = 0, muted = 0, ms = 4000, emulator = 'nuked' } = {}) {
    const s = velk.open(song('AMG0018.IMS'), song('STANDARD.BNK'), { rate, emulator });
    if (seekMs) s.seek(seekMs);
    s.setMuted(muted);
    const pcm = Int16Array.from(s.render(Math.round((rate * ms) / 1000)));
    s.close();
    return pcm;
}
const native = [process.env.VELK_NATIVE_RENDER, `${top}/build/native/tools/velkrender/velkrender`,
                `${top}/build/release/tools/velkrender/velkrender`].find((p) => p && fs.existsSync(p));
if (native) {
    const wav = `${tmp}/native.wav`;
    const r = spawnSync(native, ['--emu', 'nuked', '--rate', '48000', '--bank', `${songs}/STANDARD.BNK`, '-o', wav, `${songs}/AMG0018.IMS`]);
    const bytes = r.status === 0 ? fs.readFileSync(wav) : Buffer.alloc(0);
    const data = bytes.indexOf('data');
    const nat = new Int16Array(bytes.buffer.slice(bytes.byteOffset + data + 8, bytes.byteOffset + bytes.length));
    const ours = libraryRender(48000, { ms: 100000 });
    check(r.status === 0 && nat.length === ours.length && nat.every((v, i) => v === ours[i]),
          'the wasm renders AMG0018 as the native library does, sample for sample', `${ours.length / 2} frames, native ${nat.length / 2}`);
    // Even loudness's figures, measured by the page's meter on the wasm's
    // render, against the library's libebur128 (velkrender --loudness).
    const table = spawnSync(native, ['--loudness', '--emu', 'nuked', '--rate', '48000', '--bank', `${songs}/STANDARD.BNK`, `${songs}/AMG0018.IMS`]);
    const row = String(table.stdout).match(/^\s*(-?[\d.]+)\s+(-?[\d.]+)\s+(-?[\d.]+)\s+(-?[\d.]+)\s+\S*AMG0018/m);
    if (row) {
        const { LoudnessMeter } = await import(`${site}/loudness.js`);
        const meter = new LoudnessMeter(48000);
        meter.add(ours);
        const l = meter.result(), dB = (x) => 20 * Math.log10(x);
        check(Math.abs(l.integratedLufs - Number(row[1])) < 0.1 && Math.abs(dB(l.truePeak) - Number(row[3])) < 0.1
              && Math.abs(dB(l.samplePeak) - Number(row[2])) < 0.05,
              'the page\'s loudness meter agrees with the library\'s', `${l.integratedLufs.toFixed(2)} LUFS, true peak ${dB(l.truePeak).toFixed(2)} dB; library ${row[1]}, ${row[3]}`);
    } else {
        skipOrFail(`this velkrender measures no loudness (${String(table.stderr).trim().split('\n').pop()})`);
    }
} else {
    skipOrFail('no native velkrender (build/native) to hold the wasm to');
}

// ---- The page ------------------------------------------------------------
const server = spawn('python3', [`${top}/web/serve.py`, site, '0']);
const address = await new Promise((resolve) => server.stdout.once('data', (d) => resolve(String(d).trim())));
process.on('exit', () => server.kill());
const { chromium } = require('playwright-core');
const browser = await chromium.launch({ executablePath: '/usr/bin/chromium',
                                        args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required'] });
const page = await browser.newPage({ locale: 'en-US' });
const errors = [];
page.on('pageerror', (e) => errors.push(String(e)));
await page.goto(address);
await page.waitForFunction(() => window.velk && window.velk.player.version, null, { timeout: 20000 });
// Held to the library's samples: even loudness off.
await page.evaluate(() => window.velk.player.setEvenLoudness(false));
// The audio graph is made when first needed (here, before any gesture).
const rate = await page.evaluate(async () => { await window.velk.player.start(); return window.velk.player.rate; });
// The visitor's entries as the list shows them (the site's collection aside).
// (The list is drawn once a frame: read after the next one.)
const listed = () => page.evaluate(async () => (await new Promise(requestAnimationFrame), window.velk.list.entries).filter((e) => !e.site).map((e) => {
    const li = document.querySelector(`#list li[data-key="${e.key}"]`);
    return { name: li.querySelector('.name').textContent, length: li.querySelector('.length').textContent,
             why: li.querySelector('.why').textContent };
}));
// Waits until the list holds `count` visitor's entries, each read.
const settle = (count) => page.waitForFunction((n) => {
    const own = window.velk.list.entries.filter((e) => !e.site);
    return own.length === n && own.every((e) => e.status !== 'pending');
}, count, { timeout: 30000 });

// Files, then a folder laid out as collections are (DOS names, bank and
// lyric file beside the song; the second song in a folder of its own).
await page.setInputFiles('#pick-files', ['AMG0018.IMS', 'STANDARD.BNK', 'AMG0018.ISS', 'go-_-go.ims', 'go-_-go.bnk'].map((n) => `${songs}/${n}`));
await settle(2);
await page.evaluate(() => window.velk.player.setPaused(true));
const fromFiles = await listed();
const goTitle = velk.open(song('go-_-go.ims'), song('go-_-go.bnk')).title;
if (native) {  // the Johab title through the wasm's EUC-KR conversion, as natively
    const r = spawnSync(native, ['--regs', '--bank', `${songs}/go-_-go.bnk`, '-o', `${tmp}/go.txt`, `${songs}/go-_-go.ims`]);
    const nativeTitle = String(r.stdout).match(/^title: (.*)$/m)?.[1];
    check(nativeTitle === goTitle, 'the Korean title reads as the native library reads it', `${goTitle} / ${nativeTitle}`);
}
check(fromFiles.length === 2 && fromFiles[0].name === 'OH! M G - Opening Theme' && fromFiles[0].length === '1:22'
      && fromFiles[1].name === goTitle && fromFiles[1].length === '3:39', 'the songs open from files with titles and lengths', JSON.stringify(fromFiles));
const folder = `${tmp}/AMG`;
fs.mkdirSync(`${folder}/GO`, { recursive: true });
for (const n of ['AMG0018.IMS', 'STANDARD.BNK', 'AMG0018.ISS']) fs.copyFileSync(`${songs}/${n}`, `${folder}/${n}`);
fs.copyFileSync(`${songs}/go-_-go.ims`, `${folder}/GO/GO-_-GO.IMS`);
fs.copyFileSync(`${songs}/go-_-go.bnk`, `${folder}/GO/GO-_-GO.BNK`);
await page.click('#clear');
await page.setInputFiles('#pick-folder', folder);
await settle(2);
const fromFolder = await listed();
check(fromFolder.length === 2 && fromFolder.every((e) => e.length && !e.why) && fromFolder.some((e) => e.name === goTitle),
      'a folder of songs lists them with titles and lengths', JSON.stringify(fromFolder));

// Files dropped on the page (a test cannot make a dropped folder's entries).
await page.evaluate(([names, data]) => {
    const dt = new DataTransfer();
    names.forEach((n, i) => dt.items.add(new File([Uint8Array.from(atob(data[i]), (c) => c.charCodeAt(0))], n)));
    document.dispatchEvent(new DragEvent('drop', { dataTransfer: dt, bubbles: true, cancelable: true }));
}, [['AMG0018.IMS', 'STANDARD.BNK'], ['AMG0018.IMS', 'STANDARD.BNK'].map((n) => song(n).toString('base64'))]);
await settle(3);
const dropped = (await listed())[2];
check(dropped.name === 'OH! M G - Opening Theme' && dropped.length === '1:22', 'a song dropped with its bank is listed', JSON.stringify(dropped));

// What reaches the speakers equals the library's render at the page's rate.
async function recordPlaying(setup, ms, busy = false, startMs = setup.startMs || 0) {
    await page.evaluate(async ([setup, startMs]) => {
        const v = window.velk;
        v.player.setPaused(true);
        v.player.change(setup.settings);
        await v.player.record(true);
        const i = v.list.entries.findIndex((e) => e.name === 'AMG0018.IMS' && !e.site);
        // Timed from the first audio: a seek far beyond the seek index waits for it.
        const audible = new Promise((resolve) => v.player.addEventListener('audible', resolve, { once: true }));
        await v.playIndex(i, startMs);
        await audible;
    }, [setup, startMs]);
    await page.waitForTimeout(ms);
    // The page's own thread stalls; the audio must not.
    if (busy) await page.evaluate(() => { const until = performance.now() + 400; while (performance.now() < until); });
    await page.waitForTimeout(ms);
    return page.evaluate(async () => {
        const r = await window.velk.player.record(false);
        return { left: Array.from(r.left), right: Array.from(r.right) };
    });
}
const plain = await recordPlaying({ settings: { emulator: 'nuked', muted: 0 } }, 1500, true);
const ref = libraryRender(rate, { ms: 2500 });
let c = compare(plain, ref);
check(c && c.bad === 0 && c.gaps === 0 && c.frames > rate, `the page's output at ${rate} Hz is the library's render, sample for sample, through a busy page`, JSON.stringify(c));
const peak = plain.left.reduce((m, v) => Math.max(m, Math.abs(v)), 0);
check(peak > 0.01 && peak < 1, 'it is heard and does not clip', `peak ${peak.toFixed(3)}`);


const seeked = await recordPlaying({ settings: {}, startMs: 30000 }, 1000);
c = compare(seeked, libraryRender(rate, { seekMs: 30000, ms: 1500 }));
check(c && c.bad === 0 && c.gaps === 0 && c.frames > rate / 2, 'a seek to 30 s sounds where the library lands', JSON.stringify(c));

// A seek far beyond the seek index, right after the song opens, superseded
// by a farther one: the worker answers while the index is driven there, the
// position bar shows how far it has got, and the second lands exactly.
const far = await page.evaluate(async () => {
    const v = window.velk, p = v.player;
    const first = new Promise((resolve) => p.addEventListener('audible', resolve, { once: true }));
    await v.playIndex(v.list.entries.findIndex((e) => e.name === 'AMG0018.IMS' && !e.site));
    await first;
    const reaches = [];
    p.addEventListener('seeking', (e) => reaches.push(e.detail && [e.detail.targetMs, e.detail.reachMs]));
    await p.record(true);
    p.seek(60000);
    p.seek(70000);
    const heard = new Promise((resolve) => p.addEventListener('audible', resolve, { once: true }));
    let landed = false, slowest = 0, barShown = false;
    heard.then(() => { landed = true; });
    while (!landed) {
        const t = performance.now();
        await p.renderStats();
        slowest = Math.max(slowest, performance.now() - t);
        barShown ||= document.querySelector('.position').classList.contains('seeking');
        await new Promise((r) => setTimeout(r, 100));
    }
    await new Promise((r) => setTimeout(r, 1500));
    const r = await p.record(false);
    return { left: Array.from(r.left), right: Array.from(r.right), reaches, slowest, barShown,
             barAfter: document.querySelector('.position').classList.contains('seeking') };
});
c = compare(far, libraryRender(rate, { seekMs: 70000, ms: 1000 }));
const toward = far.reaches.filter((r) => r && r[0] === 70000).map((r) => r[1]);
check(c && c.bad === 0 && c.gaps === 0 && c.frames > rate / 2 && toward.length > 2 && toward.every((x, i) => !i || x >= toward[i - 1])
      && far.reaches.at(-1) === null && far.slowest < 1000 && far.barShown && !far.barAfter,
      'a far seek waits for the seek index, answering, shown on the position bar, and lands where the library does',
      JSON.stringify({ compare: c, reports: toward.length, last: far.reaches.at(-1), slowestAnswerMs: Math.round(far.slowest), bar: [far.barShown, far.barAfter] }));

const muted = await recordPlaying({ settings: { muted: 1 } }, 1250);
c = compare(muted, libraryRender(rate, { muted: 1, ms: 2000 }));
const differs = compare(muted, ref);
check(c && c.bad === 0 && c.gaps === 0 && (!differs || differs.bad > 0), 'muting voice 1 changes the audio as the library\'s mute does', JSON.stringify([c, differs]));
await page.evaluate(() => window.velk.player.change({ muted: 0 }));


// The karaoke line at 10.6 s, paused there.
await page.evaluate(() => { window.velk.player.setPaused(true); window.velk.player.seek(10600); });
await page.waitForTimeout(300);
const lyric = await page.evaluate(() => ({ line: document.getElementById('lyric-line').textContent,
    parts: [...document.querySelectorAll('#lyric-line span')].map((s) => [s.className, s.textContent]) }));
check(lyric.line.trim() === 'こいにならないね そばにいるだけじゃ' && lyric.parts[0]?.[0] === 'sung'
      && lyric.parts.some((p) => p[0] !== 'sung'), 'at 10.6 s the karaoke shows the line with its first part lit', JSON.stringify(lyric));

// A picture of the page playing on from there, its line half sung.
await page.evaluate(() => window.velk.player.setPaused(false));
await page.waitForTimeout(700);
const shot = `${top}/build/web/playing.png`;
await page.screenshot({ path: shot });
check(fs.statSync(shot).size > 10000, `a screenshot while playing: ${path.relative(top, shot)}`);

// Exports of the song shown: its WAV (the library's render whole), LRC, MIDI.
const saved = async (button) => {
    const [download] = await Promise.all([page.waitForEvent('download', { timeout: 120000 }), page.click(button)]);
    return fs.readFileSync(await download.path());
};
const wav = await saved('#export-wav');
const whole = velk.open(song('AMG0018.IMS'), song('STANDARD.BNK'), { rate });
let frames = 0;
for (let n; (n = whole.render(8192).length / 2); ) frames += n;
check(wav.toString('latin1', 0, 4) === 'RIFF' && wav.readUInt32LE(24) === rate && wav.readUInt32LE(40) === frames * 4,
      'the WAV export holds the whole song at the page\'s rate', `${wav.readUInt32LE(40) / 4} frames, library ${frames}`);
const lrc = (await saved('#export-lrc')).toString();
check(lrc.startsWith('[ti:OH! M G - Opening Theme]') && lrc.includes('こ<00:10.50>い'), 'the LRC export has the title and timed parts', lrc.slice(0, 80));
const mid = await saved('#export-midi');
check(mid.toString('latin1', 0, 4) === 'MThd' && mid.readUInt16BE(10) > 2, 'the MIDI export has a track per voice that plays', `${mid.readUInt16BE(10)} tracks`);

await page.keyboard.press('?');
check(await page.evaluate(() => document.getElementById('keys').open && document.getElementById('keys-table').rows.length > 5),
      '? lists the keys');
await page.keyboard.press('Escape');
// The drums' keys reach the rhythm voices (AMG0018: voice 7 is the bass drum), Shift solos, 0 clears.
const maskAfter = async (key) => { await page.keyboard.press(key); return page.evaluate(() => window.velk.player.settings.muted); };
const keyMasks = [await maskAfter('b'), await maskAfter('Shift+S'), await maskAfter('0')];
check(keyMasks[0] === 1 << 6 && keyMasks[1] === (0x7ff & ~(1 << 7)) && keyMasks[2] === 0, 'b mutes the bass drum, S solos the snare, 0 lets all be heard', JSON.stringify(keyMasks));

// Korean to Korean browsers; the site again with the network gone.
const ko = await browser.newPage({ locale: 'ko-KR' });
await ko.goto(address);
check((await ko.textContent('[data-t=open]')) === '노래 열기', 'the page speaks Korean to a Korean browser');
await ko.evaluate(() => navigator.serviceWorker.ready);
await ko.context().setOffline(true);
await ko.reload();
await ko.waitForFunction(() => window.velk && window.velk.player.version, null, { timeout: 20000 }).catch(() => {});
check(await ko.evaluate(() => !!(window.velk && window.velk.player.version)), 'the site loads again offline from its service worker');
await ko.close();

// The next song follows without a gap: AMG0018's last second, then go-_-go.
const tail = libraryRender(rate, { seekMs: 81500, ms: 2000 });
const go = velk.open(song('go-_-go.ims'), song('go-_-go.bnk'), { rate });
const joined = new Int16Array(tail.length + rate * 2);
joined.set(tail);
joined.set(go.render(rate).slice(0, joined.length - tail.length), tail.length);
go.close();
c = compare(await recordPlaying({ settings: {} }, 1000, false, 81500), joined);
check(c && c.bad === 0 && c.gaps === 0 && c.frames > tail.length / 2 + rate / 4, 'the next song follows without a gap', JSON.stringify(c));

// Bad inputs: each stays listed with a reason; the page plays on.
const bad = `${tmp}/BAD`;
fs.mkdirSync(bad);
fs.writeFileSync(`${bad}/JUNK.IMS`, Buffer.from('this is no song at all, only words'.repeat(20)));
fs.writeFileSync(`${bad}/CUT.IMS`, song('AMG0018.IMS').subarray(0, 3000));
fs.writeFileSync(`${bad}/STANDARD.BNK`, song('STANDARD.BNK'));
fs.writeFileSync(`${bad}/EMPTY.IMS`, '');
fs.mkdirSync(`${bad}/LONE`);
fs.copyFileSync(`${songs}/go-_-go.ims`, `${bad}/LONE/LONE.IMS`);
fs.closeSync(fs.openSync(`${bad}/HUGE.IMS`, 'w'));
fs.truncateSync(`${bad}/HUGE.IMS`, 65 * 1024 * 1024);
await page.click('#clear');
await page.setInputFiles('#pick-folder', bad);
await settle(5);
await page.setInputFiles('#pick-files', `${songs}/AMG0018.IMS`);  // a song alone: no bank beside it
await settle(6);
const badList = await listed();
const why = (name) => (badList.find((e) => e.name === name) || {}).why || '';
check(/neither an IMS song/.test(why('JUNK.IMS')), 'garbage says it is no song', why('JUNK.IMS'));
check(/too short/.test(why('CUT.IMS')), 'a cut song says it is cut', why('CUT.IMS'));
check(/empty/.test(why('EMPTY.IMS')), 'an empty file says so', why('EMPTY.IMS'));
check(/64 MiB/.test(why('HUGE.IMS')), 'a file over 64 MiB is refused unread', why('HUGE.IMS'));
check(/no instrument bank/.test(why('LONE.IMS')) && /no instrument bank/.test(why('AMG0018.IMS')), 'a song without a bank says which were looked for', JSON.stringify(badList));
await page.setInputFiles('#pick-files', ['AMG0018.IMS', 'STANDARD.BNK'].map((n) => `${songs}/${n}`));
await settle(7);
const later = await page.evaluate(async () => {
    const v = window.velk;
    await v.playIndex(v.list.entries.findIndex((e) => e.status === 'ok' && !e.site));
    await new Promise((r) => setTimeout(r, 1500));
    return v.player.heard()?.positionMs || 0;
});
check(later > 500 && errors.length === 0, 'after them a song still plays and the page raised no error', `${later} ms; ${errors.join('; ')}`);

await browser.close();
console.log(failures ? `${failures} web check(s) failed` : 'all web checks passed');
process.exit(failures ? 1 : 0);
