// The three browser engines behind one small interface, so one set of checks
// runs in each: Chromium through playwright-core, Firefox ESR through
// puppeteer-core over WebDriver BiDi, WebKitGTK through WebKitWebDriver (plain
// WebDriver over HTTP, spoken here with fetch) driving its MiniBrowser under
// Xvfb. Firefox and WebKit play through an audio server: a PulseAudio daemon
// of our own with a null sink, started for the run and stopped after it.
//
// A driver: { name, goto(url), run(fn, arg) -> JSON result of fn(arg) in the
// page (awaited), setFiles(selector, paths), click(selector), close() }.
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';

const children = [];
process.on('exit', () => { for (const c of children) if (c.exitCode === null) c.kill('SIGKILL'); });
const stop = async (child) => {
    if (child.exitCode !== null) return;
    const gone = new Promise((resolve) => child.once('exit', resolve));
    child.kill('SIGTERM');
    await Promise.race([gone, new Promise((r) => setTimeout(r, 3000))]);
    if (child.exitCode === null) child.kill('SIGKILL');
};
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
async function until(what, fn, ms = 15000) {
    const end = Date.now() + ms;
    for (;;) {
        try { const v = await fn(); if (v) return v; } catch { /* not up yet */ }
        if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
        await sleep(100);
    }
}
const has = (program) => spawnSync('sh', ['-c', `command -v ${program}`]).status === 0;
const freePort = () => new Promise((resolve) => {
    const s = net.createServer().listen(0, '127.0.0.1', () => { const { port } = s.address(); s.close(() => resolve(port)); });
});

// What an engine needs that is not on this machine, or null.
export function missing(name) {
    const need = { chromium: ['chromium'], firefox: ['firefox', 'pulseaudio'],
                   webkit: ['WebKitWebDriver', 'Xvfb', 'pulseaudio'] }[name];
    const absent = need.filter((p) => !has(p));
    return absent.length ? `${absent.join(', ')} not installed (tools/bootstrap.sh installs them)` : null;
}

// A PulseAudio daemon with only a null sink, its socket in a folder of its
// own (it runs as whoever we are, root included, and needs no D-Bus).
export async function startAudioServer(dir) {
    fs.mkdirSync(dir, { recursive: true });
    const socket = `${dir}/native`;
    const child = spawn('pulseaudio', ['-n', '--daemonize=no', '--exit-idle-time=-1', '--use-pid-file=no',
                                       '--log-target=stderr', '--log-level=error',
                                       '-L', `module-native-protocol-unix socket=${socket} auth-anonymous=1`,
                                       '-L', 'module-null-sink sink_name=velk_null rate=48000'],
                        { env: { ...process.env, HOME: dir, XDG_RUNTIME_DIR: dir }, stdio: ['ignore', 'ignore', 'pipe'] });
    children.push(child);
    let log = '';
    child.stderr.on('data', (d) => { log += d; });
    await until('PulseAudio', () => child.exitCode === null && fs.existsSync(socket), 10000)
        .catch(() => { throw new Error(`PulseAudio did not start: ${log.trim().split('\n').pop()}`); });
    return { env: { PULSE_SERVER: `unix:${socket}` }, stop: () => stop(child) };
}

async function startXvfb() {
    const child = spawn('Xvfb', ['-displayfd', '1', '-screen', '0', '1280x900x24', '-nolisten', 'tcp'], { stdio: ['ignore', 'pipe', 'ignore'] });
    children.push(child);
    const display = await new Promise((resolve, reject) => {
        child.stdout.once('data', (d) => resolve(`:${String(d).trim()}`));
        child.once('exit', () => reject(new Error('Xvfb did not start')));
    });
    return { display, stop: () => stop(child) };
}

// The function's source and its argument as one expression.
const call = (fn, arg) => `(${fn})(${JSON.stringify(arg ?? null)})`;

export async function launch(name, { require, tmp, audioEnv = {}, locale = 'en-US' }) {
    if (name === 'chromium') {
        const { chromium } = require('playwright-core');
        const browser = await chromium.launch({ executablePath: '/usr/bin/chromium',
                                                args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required'] });
        const page = await browser.newPage({ locale });
        const errors = [];
        page.on('pageerror', (e) => errors.push(String(e)));
        return { name, errors, page,
                 goto: (url) => page.goto(url),
                 run: (fn, arg) => page.evaluate(call(fn, arg)),
                 setFiles: (sel, paths) => page.setInputFiles(sel, paths),
                 click: (sel) => page.click(sel),
                 close: () => browser.close() };
    }
    if (name === 'firefox') {
        const puppeteer = require('puppeteer-core');
        const browser = await puppeteer.launch({
            browser: 'firefox', executablePath: '/usr/bin/firefox', headless: true,
            protocolTimeout: 60000,  // a page that does not answer in a minute has hung
            env: { ...process.env, ...audioEnv, MOZ_HEADLESS: '1' },
            userDataDir: `${tmp}/firefox-profile`,
            extraPrefsFirefox: { 'media.autoplay.default': 0, 'media.autoplay.blocking_policy': 0, 'intl.accept_languages': locale,
                                 'media.cubeb.backend': 'pulse' },
        });
        const page = (await browser.pages())[0] || await browser.newPage();
        const errors = [];
        page.on('pageerror', (e) => errors.push(String(e)));
        return { name, errors, page,
                 goto: (url) => page.goto(url),
                 run: (fn, arg) => page.evaluate(call(fn, arg)),
                 setFiles: async (sel, paths) => (await page.$(sel)).uploadFile(...paths),
                 click: (sel) => page.click(sel),
                 close: () => browser.close() };
    }
    if (name === 'webkit') return launchWebKit({ tmp, audioEnv, locale });
    throw new Error(`no engine ${name}`);
}

// WebKitGTK: its WebDriver service starts MiniBrowser for the session.
async function launchWebKit({ tmp, audioEnv, locale }) {
    const x = await startXvfb();
    const port = await freePort();
    const driver = spawn('WebKitWebDriver', [`--port=${port}`], {
        env: { ...process.env, ...audioEnv, DISPLAY: x.display, LANG: `${locale.replace('-', '_')}.UTF-8`, HOME: tmp },
        stdio: 'ignore' });
    children.push(driver);
    const base = `http://127.0.0.1:${port}`;
    const wd = async (method, url, body) => {
        const r = await fetch(base + url, { method, headers: { 'content-type': 'application/json' },
                                             body: body === undefined ? undefined : JSON.stringify(body) });
        const json = await r.json();
        if (!r.ok || json.value?.error) throw new Error(`WebDriver ${url}: ${json.value?.error}: ${json.value?.message}`);
        return json.value;
    };
    await until('WebKitWebDriver', () => fetch(`${base}/status`).then((r) => r.ok));
    const miniBrowser = ['/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser', '/usr/libexec/webkit2gtk-4.1/MiniBrowser']
        .concat(fs.readdirSync('/usr/lib').filter((d) => d.endsWith('-linux-gnu')).map((d) => `/usr/lib/${d}/webkit2gtk-4.1/MiniBrowser`))
        .find((p) => fs.existsSync(p));
    const session = await wd('POST', '/session', { capabilities: { alwaysMatch: {
        'webkitgtk:browserOptions': { binary: miniBrowser, args: ['--automation'] } } } });
    const s = `/session/${session.sessionId}`;
    await wd('POST', `${s}/timeouts`, { script: 180000, pageLoad: 60000 });
    const element = async (sel) => Object.values(await wd('POST', `${s}/element`, { using: 'css selector', value: sel }))[0];
    const errors = [];
    return { name: 'webkit', errors,
             goto: (url) => wd('POST', `${s}/url`, { url }),
             async run(fn, arg) {
                 const r = await wd('POST', `${s}/execute/async`, { args: [], script:
                     `const done = arguments[arguments.length - 1];
                      Promise.resolve().then(() => ${call(fn, arg)}).then((v) => done({ ok: v === undefined ? null : v }),
                                                                          (e) => done({ error: String(e && e.stack || e) }));` });
                 if (r && r.error) throw new Error(r.error);
                 return r.ok;
             },
             async setFiles(sel, paths) { await wd('POST', `${s}/element/${await element(sel)}/value`, { text: paths.join('\n') }); },
             async click(sel) { await wd('POST', `${s}/element/${await element(sel)}/click`, {}); },
             async close() {
                 await wd('DELETE', s).catch(() => {});
                 await stop(driver);
                 await x.stop();
             } };
}
