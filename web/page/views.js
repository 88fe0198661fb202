// The pictures, each drawn from what is heard: level meters per voice, the
// piano roll of the score, the karaoke lines.
import { t, voiceName } from './i18n.js';

export const voiceColour = (v, alpha = 1) => `hsla(${(v * 360) / 11 + 10}, 75%, 58%, ${alpha})`;

// The chip's steps of a voice's attenuation: 0 to -47.25 dB by 0.75 dB.
export const GAIN_STEP_DB = 0.75, GAIN_FLOOR_DB = -47.25;
const dbText = (db) => `${db === 0 ? '0' : db.toFixed(2).replace(/0$/, '').replace('-', '−')} dB`;

// A row per voice: mute and solo, the name, the instrument, a level bar with
// a peak mark that holds a second and then falls, and the voice's volume.
export class Meters {
    constructor(root, onToggle, onGain) {
        this.root = root;
        this.onToggle = onToggle;
        this.onGain = onGain;
        this.rows = [];
        this.idle = true;
    }
    // `gains` (dB per voice, 0 where missing) are what the sliders show.
    setVoices(voices, gains = []) {
        this.idle = false;
        this.root.replaceChildren();
        this.rows = voices.map((voice, i) => {
            const row = document.createElement('div');
            row.className = 'voice';
            row.style.setProperty('--colour', voiceColour(i));
            row.style.setProperty('--hue', String((i * 360) / 11 + 10));
            row.innerHTML = `<button class="mute" title="${t.mute}" aria-label="${t.mute}">M</button><button class="solo" title="${t.solo}" aria-label="${t.solo}">S</button>
                <span class="name"></span><span class="instrument"></span>
                <span class="meter"><span class="fill"></span><span class="peak"></span></span>
                <input class="gain" type="range" min="${GAIN_FLOOR_DB}" max="0" step="${GAIN_STEP_DB}">`;
            const name = voiceName(voice.name);
            row.querySelector('.name').textContent = name;
            row.querySelector('.mute').setAttribute('aria-label', `${t.mute}: ${name}`);
            row.querySelector('.solo').setAttribute('aria-label', `${t.solo}: ${name}`);
            const gain = row.querySelector('.gain');
            gain.setAttribute('aria-label', t.voiceGain(name));
            const showGain = (db) => { gain.value = String(db); gain.title = dbText(db); gain.setAttribute('aria-valuetext', dbText(db)); };
            showGain(gains[i] || 0);
            gain.oninput = () => { const db = Number(gain.value); showGain(db); this.onGain(i, db); };
            gain.ondblclick = () => { showGain(0); this.onGain(i, 0); };
            row.querySelector('.mute').onclick = () => this.onToggle(i, 'mute');
            row.querySelector('.solo').onclick = () => this.onToggle(i, 'solo');
            this.root.append(row);
            return { row, fill: row.querySelector('.fill'), peak: row.querySelector('.peak'),
                     instrument: row.querySelector('.instrument'), peakLevel: 0, peakAt: 0, shown: '' };
        });
    }
    showMuted(mask, soloVoice) {
        this.shownMask = mask;
        this.rows.forEach((r, i) => {
            r.row.classList.toggle('muted', !!(mask & (1 << i)));
            r.row.querySelector('.solo').classList.toggle('on', soloVoice === i);
        });
    }
    draw(states, now) {
        // Nothing heard and nothing falling: nothing to draw.
        if (!states && this.idle) return;
        this.idle = !states && this.rows.every((r) => r.peakLevel === 0);
        this.rows.forEach((r, i) => {
            const s = states && states[i];
            const level = s ? s.level : 0;
            if (level >= r.peakLevel || now - r.peakAt > 1000) {
                r.peakLevel = level >= r.peakLevel ? level : Math.max(level, r.peakLevel - 0.02);
                if (level >= r.peakLevel) r.peakAt = now;
            }
            r.fill.style.transform = `scaleX(${level})`;
            r.peak.style.left = `${r.peakLevel * 100}%`;
            const name = s ? s.instrument : '';
            if (name !== r.shown) { r.instrument.textContent = name; r.shown = name; }
            r.row.classList.toggle('sounding', !!(s && s.sounding));
        });
    }
}

const lightScheme = matchMedia('(prefers-color-scheme: light)');
const LOW = 21, HIGH = 108;  // the 88 keys, A0 to C8
const black = (k) => [1, 3, 6, 8, 10].includes(k % 12);

// The score scrolling right to left past a keyboard; the keys the voices
// hold light in their colours.
export class PianoRoll {
    constructor(canvas) {
        this.canvas = canvas;
        this.notes = [];
        this.msAcross = 6000;
    }
    setScore(notes) {
        this.notes = notes;
        this.index = 0;
        this.drawn = null;
    }
    // Drawn only when something shown changed: an idle or paused page
    // costs nothing a frame (a phone's budget).
    draw(ms, states, transpose) {
        const c = this.canvas;
        const w = Math.round(c.clientWidth * devicePixelRatio), h = Math.round(c.clientHeight * devicePixelRatio);
        const theme = `${document.documentElement.dataset.theme || ''}${lightScheme.matches}`;
        const key = `${ms}|${w}|${h}|${transpose}|${theme}`;
        if (this.drawn === key && this.drawnStates === states) return;
        this.drawn = key;
        this.drawnStates = states;
        // Resizing clears and reallocates the canvas: only when it changed.
        if (c.width !== w) c.width = w;
        if (c.height !== h) c.height = h;
        const g = c.getContext('2d');
        const keyW = Math.round(w * 0.06), row = h / (HIGH - LOW + 1), play = keyW + (w - keyW) * 0.25;
        const pxPerMs = (w - keyW) / this.msAcross;
        const y = (key) => h - (key - LOW + 1) * row;
        // The theme's colours (style.css), read again when the theme changes.
        if (this.theme !== theme) {
            this.theme = theme;
            const css = getComputedStyle(c);
            this.colours = {};
            for (const name of ['--roll-bg', '--roll-row', '--roll-line']) this.colours[name] = css.getPropertyValue(name).trim();
        }
        const colour = (name, fallback) => this.colours[name] || fallback;
        g.fillStyle = colour('--roll-bg', '#15171c');
        g.fillRect(0, 0, w, h);
        g.fillStyle = colour('--roll-row', '#1b1e25');
        for (let k = LOW; k <= HIGH; k++) if (black(k)) g.fillRect(keyW, y(k), w - keyW, row);
        const from = ms - (play - keyW) / pxPerMs, to = ms + (w - play) / pxPerMs;
        for (const n of this.notes) {
            if (n.startMs > to) break;
            if (n.endMs < from) continue;
            const key = n.key + (transpose && !n.rhythm ? transpose : 0);
            g.fillStyle = voiceColour(n.voice, n.startMs <= ms && n.endMs > ms ? 1 : 0.7);
            const x0 = play + (n.startMs - ms) * pxPerMs;
            g.fillRect(Math.max(keyW, x0), y(key), Math.max(2, (n.endMs - n.startMs) * pxPerMs - 1 - Math.max(0, keyW - x0)), Math.max(2, row - 1));
        }
        const lit = new Map();
        (states || []).forEach((s, v) => { if (s.sounding && s.key >= LOW && s.key <= HIGH) lit.set(s.key, v); });
        for (let k = LOW; k <= HIGH; k++) {
            g.fillStyle = lit.has(k) ? voiceColour(lit.get(k)) : black(k) ? '#222' : '#ddd';
            g.fillRect(0, y(k), black(k) ? keyW * 0.65 : keyW, Math.max(1, row - 0.5));
        }
        g.fillStyle = colour('--roll-line', 'rgba(255,255,255,0.5)');
        g.fillRect(play, 0, Math.max(1, devicePixelRatio), h);
    }
}

// The line being sung, its lit part, and the next line, as the library's
// karaoke view makes them: the current line is that of the last highlight
// reached, lit by the highlights of its current run.
export function karaokeAt(highlights, ms) {
    let reached = 0;
    while (reached < highlights.length && highlights[reached].timeMs <= ms) reached++;
    const view = { line: -1, lit: [], nextLine: -1 };
    if (reached > 0) {
        view.line = highlights[reached - 1].line;
        let start = reached - 1;
        while (start > 0 && highlights[start - 1].line === view.line) start--;
        const ranges = highlights.slice(start, reached).filter((h) => h.first < h.end).map((h) => [h.first, h.end]).sort((a, b) => a[0] - b[0]);
        for (const r of ranges) {
            const last = view.lit[view.lit.length - 1];
            if (last && r[0] <= last[1]) last[1] = Math.max(last[1], r[1]);
            else view.lit.push([...r]);
        }
    }
    const next = highlights.slice(reached).find((h) => h.line !== view.line);
    if (next) view.nextLine = next.line;
    return view;
}

export class Karaoke {
    constructor(current, next) {
        this.current = current;
        this.next = next;
        this.lyrics = null;
        this.shown = '';
    }
    setLyrics(lyrics) {
        this.lyrics = lyrics && lyrics.highlights.length ? lyrics : null;
        this.bytes = this.lyrics ? this.lyrics.lines.map((l) => new TextEncoder().encode(l)) : [];
        this.current.replaceChildren();
        this.next.textContent = '';
        this.shown = '';
    }
    draw(ms) {
        if (!this.lyrics) return;
        const view = karaokeAt(this.lyrics.highlights, ms);
        const key = JSON.stringify(view);
        if (key === this.shown) return;
        this.shown = key;
        const dec = new TextDecoder();
        const bytes = this.bytes[view.line] || new Uint8Array(0);
        const parts = [];
        let at = 0;
        for (const [a, b] of view.lit) {
            if (a > at) parts.push([dec.decode(bytes.subarray(at, a)), false]);
            parts.push([dec.decode(bytes.subarray(a, b)), true]);
            at = b;
        }
        if (at < bytes.length) parts.push([dec.decode(bytes.subarray(at)), false]);
        this.current.replaceChildren(...parts.map(([text, lit]) => {
            const s = document.createElement('span');
            s.textContent = text;
            if (lit) s.className = 'sung';
            return s;
        }));
        this.next.textContent = view.nextLine >= 0 ? this.lyrics.lines[view.nextLine] : '';
    }
}

// The song list as drawn: one item per entry, made once and updated in
// place, so that the list keeps its scroll and a search only hides items.
// `describe(entry)` gives {name, title, length, why, className}.
export class SongListView {
    constructor(list, scroller, { onPick, describe }) {
        this.list = list;
        this.scroller = scroller;
        this.onPick = onPick;
        this.describe = describe;
        this.items = new Map();   // entry key -> {li, shown}
    }
    draw(entries, current, visible) {
        const seen = new Set();
        let previous = null, shown = 0;
        entries.forEach((entry, i) => {
            seen.add(entry.key);
            let item = this.items.get(entry.key);
            if (!item) {
                const li = document.createElement('li');
                li.innerHTML = '<span class="name"></span><span class="length"></span><span class="why"></span>';
                li.onclick = () => this.onPick(entry);
                item = { li, shown: '' };
                this.items.set(entry.key, item);
            }
            const d = this.describe(entry);
            const className = `entry ${d.className}${i === current ? ' current' : ''}`;
            const sig = [className, d.name, d.path, d.length, d.why].join('\u0000');
            if (sig !== item.shown) {
                item.shown = sig;
                item.li.className = className;
                item.li.dataset.key = entry.key;
                item.li.dataset.path = entry.path;
                const [name, length, why] = item.li.children;
                name.textContent = d.name;
                name.title = d.path;
                length.textContent = d.length;
                why.textContent = d.why;
                if (i === current) item.li.setAttribute('aria-current', 'true');
                else item.li.removeAttribute('aria-current');
            }
            item.li.hidden = !visible(entry);
            if (!item.li.hidden) shown++;
            // Moved only when out of place, so an unchanged list is not touched.
            const after = previous ? previous.nextSibling : this.list.firstChild;
            if (after !== item.li) this.list.insertBefore(item.li, after);
            previous = item.li;
        });
        for (const [key, item] of this.items) if (!seen.has(key)) { item.li.remove(); this.items.delete(key); }
        return shown;
    }
    // Scrolls the list (only the list, never the page) to show the entry.
    reveal(entry) {
        const item = entry && this.items.get(entry.key);
        if (!item || item.li.hidden || !this.scroller.clientHeight) return;
        const box = this.scroller.getBoundingClientRect(), at = item.li.getBoundingClientRect();
        if (at.top < box.top) this.scroller.scrollTop -= box.top - at.top + 8;
        else if (at.bottom > box.bottom) this.scroller.scrollTop += at.bottom - box.bottom + 8;
    }
}
