// The web player's figures, each measured in this run:
//   the wasm's render of a whole song against the native library's (same
//   song, emulator and rate); from a click on a song to its first audio at
//   the speakers in Chromium; the site's wasm and JS compressed; the render
//   thread's share of real time while Nuked plays.
//   node bench/web/web_bench.mjs SITE_DIR NATIVE_VELKRENDER
import { spawn, spawnSync } from 'node:child_process';
import { createRequire } from 'node:module';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';

const top = path.resolve(path.dirname(new URL(import.meta.url).pathname), '../..');
const site = path.resolve(process.argv[2] || `${top}/build/web/site`);
const native = process.argv[3];
const songs = path.resolve(process.env.VELK_SONGS_DIR || `${top}/../shared/songs`);
const require = createRequire(`${top}/build/web/node_modules/`);
globalThis.require = require;
globalThis.__dirname = site;
const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];

// Size: what a server sends compressed.
let wasm = 0, js = 0;
for (const f of fs.readdirSync(site)) {
    if (!fs.statSync(`${site}/${f}`).isFile()) continue;  // the collection's folders
    const bytes = fs.readFileSync(`${site}/${f}`);
    const gz = zlib.gzipSync(bytes, { level: 9 }).length;
    if (f.endsWith('.wasm')) wasm += gz; else if (/\.m?js$/.test(f)) js += gz;
}
console.log(`site, gzip -9: wasm ${(wasm / 1024).toFixed(0)} KiB + JS ${(js / 1024).toFixed(0)} KiB = ${((wasm + js) / 1024).toFixed(0)} KiB (aim: under 1024)`);

if (!fs.existsSync(`${songs}/AMG0018.IMS`)) {
    console.log(`the shared songs are not in ${songs}: no timings`);
    process.exit(0);
}

// Rendering: AMG0018 whole, Nuked, 48 kHz; native and wasm in pairs.
const { loadVelk } = await import(`${site}/velk-api.js`);
const velk = await loadVelk(fs.readFileSync(`${site}/velk.wasm`));
const song = fs.readFileSync(`${songs}/AMG0018.IMS`), bank = fs.readFileSync(`${songs}/STANDARD.BNK`);
function wasmRender() {
    const began = performance.now();
    const s = velk.open(song, bank, { rate: 48000, emulator: 'nuked' });
    while (s.render(8192).length) { /* the whole song */ }
    s.close();
    return performance.now() - began;
}
const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'velk-web-bench-'));
function nativeRender() {
    const began = performance.now();
    const r = spawnSync(native, ['--emu', 'nuked', '--rate', '48000', '--bank', `${songs}/STANDARD.BNK`, '-o', `${tmp}/n.wav`, `${songs}/AMG0018.IMS`]);
    if (r.status !== 0) throw new Error(`velkrender: ${r.stderr}`);
    return performance.now() - began;
}
if (native && fs.existsSync(native)) {
    const ratios = [];
    let w, n;
    for (let i = 0; i < 5; i++) { n = nativeRender(); w = wasmRender(); ratios.push(w / n); }
    console.log(`render AMG0018 (82 s, Nuked, 48 kHz): wasm under node ${w.toFixed(0)} ms, native velkrender ${n.toFixed(0)} ms; ` +
                `wasm/native, median of 5 pairs: ${median(ratios).toFixed(2)}x (aim: at most 1.5x)`);
} else {
    console.log('no native velkrender given: render ratio not measured');
}
fs.rmSync(tmp, { recursive: true, force: true });
// The library's own seek (its run-up through what still sounds), part of
// every seek the page makes.
{
    const s = velk.open(song, bank, { rate: 48000, emulator: 'nuked' });
    const times = [10000, 30000, 50000, 20000, 40000, 60000].map((ms) => { const t = performance.now(); s.seek(ms); return performance.now() - t; });
    s.close();
    console.log(`velk_seek_ms in wasm (Nuked): median ${median(times).toFixed(0)} ms of 6 targets`);
}

// In Chromium: click to first audio, and the render thread's share.
const server = spawn('python3', [`${top}/web/serve.py`, site, '0']);
const address = await new Promise((resolve) => server.stdout.once('data', (d) => resolve(String(d).trim())));
const { chromium } = require('playwright-core');
const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required'] });
const page = await browser.newPage();
await page.goto(address);
await page.waitForFunction(() => window.velk && window.velk.player.version);
await page.setInputFiles('#pick-files', ['AMG0018.IMS', 'STANDARD.BNK', 'AMG0018.ISS', 'go-_-go.ims', 'go-_-go.bnk'].map((n) => `${songs}/${n}`));
await page.waitForFunction(() => {
    const own = window.velk.list.entries.filter((e) => !e.site);
    return own.length === 2 && own.every((e) => e.status === 'ok');
});
await page.evaluate(() => window.velk.player.setEvenLoudness(false));
// The visitor's two songs in the list (the site's collection is listed too).
const ownItem = `(i) => { const own = window.velk.list.entries.filter((e) => !e.site);
    return document.querySelector('#list li[data-key="' + own[i % 2].key + '"]'); }`;
await page.evaluate(`window.benchItem = ${ownItem}`);
const clicks = [];
for (let i = 0; i < 6; i++) {
    clicks.push(await page.evaluate(async (i) => {
        const p = window.velk.player;
        const heard = new Promise((resolve) => p.addEventListener('audible', (e) => resolve(e.detail), { once: true }));
        const began = performance.now();
        window.benchItem(i).click();
        const at = await heard;  // AudioContext time the first sample reaches the speakers
        return performance.now() - began + (at - p.ctx.currentTime) * 1000;
    }, i));
    await page.waitForTimeout(300);
}
const latency = await page.evaluate(() => window.velk.player.latency * 1000);
console.log(`click on a song to its first audio at the speakers: median ${median(clicks).toFixed(0)} ms of ${clicks.length}, of which the output latency ${latency.toFixed(0)} ms ` +
            `(${clicks.map((c) => c.toFixed(0)).join(', ')}; aim: at most 150)`);
// Seeks as soon as the song opens (its seek index not built yet), then once
// the render worker has indexed it between renders.
const seekTimes = async () => {
    const seeks = [];
    for (let i = 0; i < 6; i++) {
        seeks.push(await page.evaluate(async (i) => {
            const p = window.velk.player;
            const heard = new Promise((resolve) => p.addEventListener('audible', (e) => resolve(e.detail), { once: true }));
            const began = performance.now();
            p.seek(10000 + 20000 * (i % 3) + 3000 * i);
            const at = await heard;
            return performance.now() - began + (at - p.ctx.currentTime) * 1000;
        }, i));
        await page.waitForTimeout(300);
    }
    return seeks;
};
const indexed = page.evaluate(() => new Promise((resolve) => {
    const p = window.velk.player, began = performance.now();
    p.addEventListener('indexed', (e) => resolve({ ...e.detail, wallMs: performance.now() - began }), { once: true });
}));
await page.evaluate(() => window.benchItem(0).click());
await page.waitForTimeout(500);
const early = await seekTimes();
const statsEarly = await page.evaluate(() => window.velk.player.renderStats());
const index = await Promise.race([indexed, new Promise((r) => setTimeout(() => r(null), 120000))]);
const statsIndexed = await page.evaluate(() => window.velk.player.renderStats());
const late = await seekTimes();
const statsLate = await page.evaluate(() => window.velk.player.renderStats());
console.log(`a seek to its first audio at the speakers, before the seek index: median ${median(early).toFixed(0)} ms ` +
            `(${early.map((c) => c.toFixed(0)).join(', ')}; ${statsEarly.exactSeeks} of ${statsEarly.seeks} exact)`);
console.log(index ? `the render worker indexed AMG0018 (${(index.ms / 1000).toFixed(1)} s of song) in ${(index.wallMs / 1000).toFixed(1)} s while playing, ` +
                    `${(statsLate.indexMs - statsEarly.indexMs).toFixed(0)} ms of its thread; snapshots ${(index.bytes / 1024).toFixed(0)} KiB`
                  : 'the seek index did not complete within 2 minutes');
console.log(`a seek to its first audio at the speakers, indexed: median ${median(late).toFixed(0)} ms ` +
            `(${late.map((c) => c.toFixed(0)).join(', ')}; ${statsLate.exactSeeks - statsIndexed.exactSeeks} of ${statsLate.seeks - statsIndexed.seeks} exact; aim: under 100)`);
// A far seek right after a 5-minute song opens (made by the native
// imsmaker with the demo bank): it waits while the worker drives the seek
// index toward the target, answering meanwhile, then lands exactly.
const imsmaker = `${top}/build/web/native/tools/imsmaker/imsmaker`, demoBank = `${top}/build/web/native/demo/demo.bnk`;
if (fs.existsSync(imsmaker) && fs.existsSync(demoBank)) {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'velk-web-long-'));
    fs.writeFileSync(`${dir}/LONG.txt`, ['title Five minutes', 'tempo 120', 'beats 4', 'rhythm off', 'step 120',
        'voice 0 piano1 112', '150x: a4 . c5 . e5 . d5 c5', 'voice 1 bass1 100', '150x: a2 . - a2 e3 - a2 -',
        'step 960', 'voice 2 strings 72', '150x: a3'].join('\n'));
    spawnSync(imsmaker, [`${dir}/LONG.txt`, `${dir}/LONG.IMS`]);
    fs.copyFileSync(demoBank, `${dir}/LONG.BNK`);
    await page.setInputFiles('#pick-files', [`${dir}/LONG.IMS`, `${dir}/LONG.BNK`]);
    await page.waitForFunction(() => window.velk.list.entries.some((e) => e.name === 'LONG.IMS' && e.status === 'ok'));
    const far = await page.evaluate(async () => {
        const v = window.velk, p = v.player;
        const first = new Promise((resolve) => p.addEventListener('audible', resolve, { once: true }));
        await v.playIndex(v.list.entries.findIndex((e) => e.name === 'LONG.IMS'));
        await first;
        const heard = new Promise((resolve) => p.addEventListener('audible', (e) => resolve(e.detail), { once: true }));
        let told = 0;
        p.addEventListener('seeking', () => told++);
        const began = performance.now();
        p.seek(270000);
        let landed = false, slowest = 0;
        heard.then(() => { landed = true; });
        while (!landed) {  // the worker's answers while it waits
            const t = performance.now();
            await p.renderStats();
            slowest = Math.max(slowest, performance.now() - t);
            await new Promise((r) => setTimeout(r, 100));
        }
        const at = await heard;
        const ms = performance.now() - began + (at - p.ctx.currentTime) * 1000;
        const s = await p.renderStats();
        return { ms, told, slowest, exact: s.exactSeeks === s.seeks };
    });
    console.log(`a seek to 4:30 right after a 5-minute song opens (Nuked): first audio after ${(far.ms / 1000).toFixed(1)} s, ` +
                `${far.told} progress reports on the position bar, the worker answering within ${far.slowest.toFixed(0)} ms meanwhile; ` +
                `${far.exact ? 'every seek exact' : 'not every seek exact'}`);
    fs.rmSync(dir, { recursive: true, force: true });
} else {
    console.log('no native imsmaker (tools/web.sh builds it): no far seek in a 5-minute song');
}

await page.evaluate(() => window.benchItem(0).click());
const before = await page.evaluate(() => window.velk.player.renderStats());
await page.waitForTimeout(5000);
const after = await page.evaluate(() => window.velk.player.renderStats());
const audioMs = ((after.frames - before.frames) / after.rate) * 1000;
console.log(`render thread while Nuked plays: ${(after.busyMs - before.busyMs).toFixed(0)} ms busy for ${audioMs.toFixed(0)} ms of audio: ` +
            `${((100 * (after.busyMs - before.busyMs)) / audioMs).toFixed(1)}% of real time`);
await browser.close();
server.kill();
