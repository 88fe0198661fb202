// The web site as the platform's own tools judge it, each figure measured in
// this run on Debian's chromium:
//   Lighthouse (mobile profile): its four scores, layout shift and blocking
//   time, and every audit that fails; axe-core's violations on a desktop
//   and at a phone's 390x844, in the light and the dark theme; a minute of
//   Nuked under CPU throttling at 4x and 6x (a phone's budget), counting
//   underruns at the speakers (Chromium's throttling reaches only the page's
//   thread, so the render worker is slowed as much by its own busy wait); memory after 10 and after 500 song switches;
//   a collection of 500 songs listed after the page loads.
//   node bench/web/platform_bench.mjs SITE_DIR [--quick] [--only=PART,...]
// (--quick: 10 s of throttled playing and 100 switches, for a look;
// --only: some of lighthouse, axe, collection, throttled, switches.)
import { spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const top = path.resolve(path.dirname(new URL(import.meta.url).pathname), '../..');
const site = path.resolve(process.argv[2] || `${top}/build/web/site`);
const quick = process.argv.includes('--quick');
const only = process.argv.find((a) => a.startsWith('--only='))?.slice(7).split(',');
const part = (name) => !only || only.includes(name);
const modules = `${top}/build/web/node_modules`;
const require = createRequire(`${modules}/`);
const songs = path.resolve(process.env.VELK_SONGS_DIR || `${top}/../shared/songs`);
const haveSongs = fs.existsSync(`${songs}/AMG0018.IMS`);
const { chromium } = require('playwright-core');
const chromiumArgs = ['--no-sandbox', '--autoplay-policy=no-user-gesture-required'];

const serve = (dir) => new Promise((resolve) => {
    const server = spawn('python3', [`${top}/web/serve.py`, dir, '0']);
    server.stdout.once('data', (d) => resolve({ address: String(d).trim(), stop: () => server.kill() }));
});
const { address, stop } = await serve(site);
const ready = (page) => page.waitForFunction(() => window.velk && window.velk.player.version, null, { timeout: 30000 });

// ---- Lighthouse, mobile ---------------------------------------------------
async function lighthouseRun() {
    const { default: lighthouse } = await import(`${modules}/lighthouse/core/index.js`);
    const chromeLauncher = await import(`${modules}/chrome-launcher/dist/index.js`);
    const chrome = await chromeLauncher.launch({ chromePath: '/usr/bin/chromium',
                                                 chromeFlags: ['--headless=new', '--no-sandbox', '--disable-gpu'] });
    try {
        const result = await lighthouse(address, { port: chrome.port, output: 'json', logLevel: 'error' });
        const lhr = result.lhr;
        const score = (c) => (lhr.categories[c].score == null ? '–' : Math.round(lhr.categories[c].score * 100));
        const aim = { performance: 95, accessibility: 100, 'best-practices': 100, seo: 100 };
        console.log(`lighthouse (mobile): ${Object.keys(aim).map((c) => `${c} ${score(c)} (aim ${aim[c]})`).join(', ')}`);
        const a = lhr.audits;
        console.log(`  cumulative layout shift ${a['cumulative-layout-shift'].numericValue.toFixed(3)} (aim: under 0.05), ` +
                    `total blocking time ${a['total-blocking-time'].numericValue.toFixed(0)} ms, ` +
                    `largest contentful paint ${a['largest-contentful-paint'].numericValue.toFixed(0)} ms, ` +
                    `main-thread work ${(a['mainthread-work-breakdown'].numericValue / 1000).toFixed(1)} s, ` +
                    `longest task ${Math.max(0, ...(a['long-tasks']?.details?.items || []).map((t) => t.duration)).toFixed(0)} ms`);
        const failing = Object.values(a).filter((x) => x.score !== null && x.score < 0.9
            && ['binary', 'numeric', 'metricSavings'].includes(x.scoreDisplayMode));
        for (const x of failing) console.log(`  fails: ${x.id} (${x.score}): ${x.title}${x.displayValue ? ` - ${x.displayValue}` : ''}`);
        if (!failing.length) console.log('  no audit fails');
    } finally {
        await chrome.kill();
    }
}

// ---- axe-core ---------------------------------------------------------------
async function axeRun(browser) {
    const axe = fs.readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8');
    let total = 0;
    for (const [what, viewport] of [['desktop', { width: 1280, height: 800 }], ['phone', { width: 390, height: 844 }]]) {
        for (const scheme of ['light', 'dark']) {
            const context = await browser.newContext({ viewport, colorScheme: scheme, isMobile: what === 'phone', hasTouch: what === 'phone' });
            const page = await context.newPage();
            await page.goto(address);
            await ready(page);
            await page.waitForTimeout(500);
            await page.addScriptTag({ content: axe });
            const violations = await page.evaluate(async () => (await window.axe.run(document, { resultTypes: ['violations'] })).violations
                .map((v) => ({ id: v.id, impact: v.impact, nodes: v.nodes.length, first: v.nodes[0]?.target.join(' ') })));
            total += violations.length;
            console.log(`axe-core, ${what} ${viewport.width}x${viewport.height}, ${scheme}: ${violations.length} violation(s) (aim: none)` +
                        violations.map((v) => `\n  ${v.id} (${v.impact}, ${v.nodes} element(s), e.g. ${v.first})`).join(''));
            await context.close();
        }
    }
    return total;
}

// ---- Playing under CPU throttling ------------------------------------------
async function openSongs(page) {
    await page.setInputFiles('#pick-files', ['AMG0018.IMS', 'STANDARD.BNK', 'go-_-go.ims', 'go-_-go.bnk'].map((n) => `${songs}/${n}`));
    await page.waitForFunction(() => {
        const own = window.velk.list.entries.filter((e) => !e.site);
        return own.length === 2 && own.every((e) => e.status === 'ok');
    }, null, { timeout: 60000 });
}
async function throttled(browser, rate, emulator, seconds) {
    const page = await browser.newPage();
    await page.goto(address);
    await ready(page);
    await openSongs(page);
    const cdp = await page.context().newCDPSession(page);
    await cdp.send('Emulation.setCPUThrottlingRate', { rate });
    const before = await page.evaluate(async ([emulator, rate]) => {
        const v = window.velk;
        v.player.change({ emulator });
        v.player.slowRenderThread(rate);
        const struggling = [];
        const began = performance.now();
        v.player.addEventListener('struggling', (e) => struggling.push({ ...e.detail, atS: (performance.now() - began) / 1000 }));
        window.benchStruggling = struggling;
        await v.playIndex(v.list.entries.findIndex((e) => e.name === 'go-_-go.ims' && !e.site));
        window.benchStartedAt = v.player.ctx.currentTime;
        return v.player.underruns();
    }, [emulator, rate]);
    await page.waitForTimeout(seconds * 1000);
    const after = await page.evaluate(async () => ({ u: await window.velk.player.underruns(), s: await window.velk.player.renderStats(), startedAt: window.benchStartedAt,
                                                     heard: window.velk.player.heard()?.positionMs, struggling: window.benchStruggling }));
    await cdp.send('Emulation.setCPUThrottlingRate', { rate: 1 });
    await page.close();
    const count = after.u.count - before.count;
    console.log(`${seconds} s of ${emulator} at ${rate}x CPU throttling: ${count} underrun(s), ${((after.u.frames - before.frames) / after.s.rate * 1000).toFixed(0)} ms silent; ` +
                `the render thread ${((100 * after.s.busyMs) / ((after.s.frames / after.s.rate) * 1000)).toFixed(0)}% busy; buffer ${after.s.bufferSeconds} s; ` +
                `the render thread's longest task ${after.s.longestMs.toFixed(0)} ms (${after.s.longestWhat}); heard at ${(after.heard / 1000).toFixed(1)} s${after.struggling.length ? `; the player went on with ${after.struggling[0].emulator} after ${after.struggling[0].atS.toFixed(1)} s` : ''}` +
                `${rate === 4 ? ' (aim: none)' : ''}`);
    return count;
}

// ---- Memory over song switches ------------------------------------------------
async function switches(browser, counts) {
    const page = await browser.newPage();
    await page.goto(address);
    await ready(page);
    await openSongs(page);
    const cdp = await page.context().newCDPSession(page);
    await cdp.send('HeapProfiler.enable');
    const measure = async () => {
        await cdp.send('HeapProfiler.collectGarbage');
        const heap = await cdp.send('Runtime.getHeapUsage');
        const stats = await page.evaluate(() => window.velk.player.renderStats());
        return { pageMiB: heap.usedSize / 2 ** 20, wasmMiB: stats.heapBytes / 2 ** 20 };
    };
    let done = 0;
    const seen = [];
    const started = performance.now();
    for (const n of counts) {
        await page.evaluate(async (times) => {
            const v = window.velk, own = v.list.entries.map((e, i) => [e, i]).filter(([e]) => !e.site).map(([, i]) => i);
            for (let k = 0; k < times; k++) {
                const heard = new Promise((resolve) => v.player.addEventListener('audible', resolve, { once: true }));
                document.querySelector(`#list li[data-key="${v.list.entries[own[k % 2]].key}"]`).click();
                await heard;
            }
        }, n - done);
        done = n;
        await page.waitForTimeout(1000);
        seen.push([n, await measure()]);
    }
    const seconds = (performance.now() - started) / 1000;
    console.log(`memory after song switches by clicks (page JS heap after GC + the render worker's wasm memory): ` +
                seen.map(([n, m]) => `${n}: ${m.pageMiB.toFixed(1)} + ${m.wasmMiB.toFixed(1)} MiB`).join('; ') +
                `; ${done} switches in ${seconds.toFixed(0)} s`);
    await page.close();
}

// ---- A collection of 500 songs ----------------------------------------------------
async function bigCollection(browser) {
    const index = JSON.parse(fs.readFileSync(`${site}/collection.json`, 'utf8'));
    const model = index.songs[0];
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'velk-500-'));
    fs.cpSync(site, dir, { recursive: true });
    const many = [];
    for (let i = 0; i < 500; i++) many.push({ ...model, path: `songs/${String(i).padStart(3, '0')}/SONG${i}.IMS`, title: `${model.title} ${i}` });
    fs.writeFileSync(`${dir}/collection.json`, JSON.stringify({ ...index, songs: many, bad: [] }));
    const other = await serve(dir);
    const page = await browser.newPage();
    const times = [];
    for (let i = 0; i < 3; i++) {
        await page.goto(`${other.address}/?run=${i}`);
        await page.waitForFunction(() => performance.getEntriesByName('velk-collection-listed').length > 0, null, { timeout: 30000 });
        times.push(await page.evaluate(() => ({ listed: performance.getEntriesByName('velk-collection-listed')[0].startTime,
                                                 rows: document.querySelectorAll('#list li').length })));
    }
    await page.close();
    other.stop();
    fs.rmSync(dir, { recursive: true, force: true });
    const ms = times.map((t) => t.listed).sort((a, b) => a - b);
    console.log(`a collection of 500 songs listed ${ms[1].toFixed(0)} ms after navigation began (median of 3; ${times[0].rows} rows; aim: under 1000)`);
}

if (part('lighthouse')) await lighthouseRun().catch((e) => console.log(`lighthouse did not run: ${e.message}`));
const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: chromiumArgs });
if (part('axe')) await axeRun(browser);
if (part('collection') && fs.existsSync(`${site}/collection.json`)) await bigCollection(browser);
if (haveSongs) {
    const seconds = quick ? 10 : 60;
    if (part('throttled')) {
        await throttled(browser, 4, 'nuked', seconds);
        await throttled(browser, 6, 'nuked', seconds);
        await throttled(browser, 6, 'satoh', seconds);
    }
    if (part('switches')) await switches(browser, quick ? [10, 100] : [10, 500]);
} else {
    console.log(`the shared songs are not in ${songs}: no throttled playing, no song switches`);
}
await browser.close();
stop();
