// The song list: files taken in from pickers and drops (folders too), songs
// recognised by their content, each song's bank and lyric file matched
// beside it by the library's rules (its own name with .bnk, else
// STANDARD.BNK in its folder; its own name with .iss; any case), and the
// order of play (loop off, all, one, shuffle). The site's own collection
// (its index, songs fetched when played) lists beside the visitor's files.
import { searchable } from './search.js';

export const MAX_SONG_BYTES = 64 * 1024 * 1024;

// The plug-in's test of an IMS song's head; a ROL song by its version 0.4.
export function songKind(head) {
    if (head.length >= 6 && (head[0] === 0x01 || head[0] === 0x10) && head.subarray(1, 6).every((b) => b === 0)) return 'ims';
    if (head.length >= 4 && head[0] === 0 && head[1] === 0 && head[2] === 4 && head[3] === 0) return 'rol';
    return null;
}

const folderOf = (path) => path.slice(0, path.lastIndexOf('/') + 1);
const stem = (name) => (name.includes('.') ? name.slice(0, name.lastIndexOf('.')) : name);
const extension = (name) => (name.includes('.') ? name.slice(name.lastIndexOf('.') + 1).toLowerCase() : '');

// Files from a drop: folders are walked (webkitGetAsEntry), each file with
// its path inside what was dropped.
export async function droppedFiles(dataTransfer) {
    const out = [];
    const walk = async (entry, path) => {
        if (entry.isFile) {
            const file = await new Promise((res, rej) => entry.file(res, rej));
            out.push({ file, path: path + file.name });
        } else if (entry.isDirectory) {
            const reader = entry.createReader();
            for (;;) {
                const batch = await new Promise((res, rej) => reader.readEntries(res, rej));
                if (!batch.length) break;
                for (const child of batch) await walk(child, `${path}${entry.name}/`);
            }
        }
    };
    const entries = [...dataTransfer.items].map((item) => item.webkitGetAsEntry && item.webkitGetAsEntry()).filter(Boolean);
    if (entries.length) for (const e of entries) await walk(e, '');
    else for (const file of dataTransfer.files) out.push({ file, path: file.name });
    return out;
}

// From an <input type=file> (with webkitdirectory, files carry their path).
export const pickedFiles = (fileList) => [...fileList].map((file) => ({ file, path: file.webkitRelativePath || file.name }));

// A file of the site, or why it could not be had (naming the file when it
// is not the song itself: its bank or lyric file).
async function fetchBytes(url, named = true) {
    const name = named ? `${decodeURIComponent(new URL(url).pathname.split('/').pop())}: ` : '';
    let r;
    try { r = await fetch(url); } catch (e) { throw { name: 'fetch', message: name + String(e && e.message || e) }; }
    if (!r.ok) throw { name: 'fetch', message: `${name}${r.status} ${r.statusText}`.trim() };
    return new Uint8Array(await r.arrayBuffer());
}

export class SongList extends EventTarget {
    constructor() {
        super();
        this.entries = [];
        this.files = new Map();   // path in lower case -> {file, path}, for banks and lyrics
        this.read = new Map();    // path -> the file's bytes (a promise)
        this.loop = 'all';
        this.current = -1;
        this.shuffled = [];
        this.serial = 0;
        this.sortKey = 'none';
    }

    // Takes files in: songs become entries (chosen one by one, any file
    // that is not a bank or lyric file becomes one, so that a bad file says
    // why it cannot play; inside folders, only songs by content or name).
    async add(files, { fromFolder = false } = {}) {
        for (const f of files) this.files.set(f.path.toLowerCase(), f);
        for (const e of this.entries) if (!e.site) e.bytes = null;
        const added = [];
        for (const f of files) {
            const ext = extension(f.file.name);
            if (ext === 'bnk' || ext === 'iss') continue;
            let kind = null, head = new Uint8Array(0);
            if (f.file.size <= MAX_SONG_BYTES) {
                head = new Uint8Array(await f.file.slice(0, 6).arrayBuffer());
                kind = songKind(head);
            }
            const inFolder = fromFolder || f.path.includes('/');
            if (inFolder && !kind && ext !== 'ims' && ext !== 'rol') continue;
            added.push(this.entry({ name: f.file.name, path: f.path, file: f.file, size: f.file.size, kind }));
        }
        return this.finishAdding(added);
    }

    // The site's collection from its index (collection.json, written by
    // tools/velkindex): entries that play at once, their bytes fetched when
    // played. Bad songs listed by the index show why; other junk the index
    // found is not a song and is left out, as files in a folder are.
    addCollection(index, baseUrl) {
        const added = [];
        const hashes = new Map((index.files || []).map((f) => [f.path, f.hash]));
        const url = (path, hash) => new URL(path.split('/').map(encodeURIComponent).join('/') + (hash ? `?v=${hash.slice(0, 16)}` : ''), baseUrl).href;
        for (const song of index.songs || []) {
            if (typeof song.path !== 'string') continue;
            const name = song.path.slice(song.path.lastIndexOf('/') + 1);
            added.push(this.entry({ name, path: song.path, site: true, kind: song.kind, size: song.size, status: 'ok',
                                    title: song.title || '', lengthMs: song.lengthMs, voices: song.voices, hash: song.hash,
                                    credits: song.credits || [], lyricsProblem: song.lyricsProblem || null,
                                    urls: { song: url(song.path, song.hash), bank: song.bank ? url(song.bank, hashes.get(song.bank)) : null,
                                            lyrics: song.lyrics ? url(song.lyrics, hashes.get(song.lyrics)) : null },
                                    bankName: song.bank || null, lyricsName: song.lyrics || null }));
        }
        for (const bad of index.bad || []) {
            if (typeof bad.path !== 'string' || !/\.(ims|rol)$/i.test(bad.path)) continue;
            const name = bad.path.slice(bad.path.lastIndexOf('/') + 1);
            added.push(this.entry({ name, path: bad.path, site: true, status: 'error', error: { name: 'index', message: String(bad.why) } }));
        }
        this.finishAdding(added);
        return added;
    }

    // An entry that says the collection itself cannot be listed, and why.
    addCollectionProblem(name, message) {
        const added = [this.entry({ name, path: name, site: true, status: 'error', error: { name: 'collection', message } })];
        this.finishAdding(added);
        return added;
    }

    entry(fields) {
        const e = { key: ++this.serial, name: '', path: '', file: null, size: 0, kind: null, status: 'pending', title: '',
                    lengthMs: null, error: null, credits: [], site: false, ...fields };
        this.entries.push(e);
        return e;
    }
    finishAdding(added) {
        if (this.sortKey !== 'none') this.sort(this.sortKey);
        this.reshuffle();
        this.dispatchEvent(new Event('change'));
        return added;
    }

    // What a search looks through: the title, the file's path, the lyric
    // file's credits (made once per entry and again when they change).
    searchText(entry) {
        const raw = [entry.title, entry.path, ...(entry.credits || [])].join('\n');
        if (entry.searchRaw !== raw) { entry.searchRaw = raw; entry.searchChars = searchable(raw); }
        return entry.searchChars;
    }

    // Sorts the entries by 'title', 'name' (the file's path) or 'length'
    // ('none': the order they came in); the current song stays current.
    sort(key) {
        this.sortKey = key;
        const current = this.entries[this.current];
        const collator = new Intl.Collator(undefined, { numeric: true, sensitivity: 'base' });
        const by = {
            none: (a, b) => a.key - b.key,
            title: (a, b) => collator.compare(a.title || a.name, b.title || b.name) || collator.compare(a.path, b.path),
            name: (a, b) => collator.compare(a.path, b.path),
            length: (a, b) => (a.lengthMs ?? Infinity) - (b.lengthMs ?? Infinity) || collator.compare(a.path, b.path),
        }[key] || ((a, b) => a.key - b.key);
        this.entries.sort(by);
        this.current = current ? this.entries.indexOf(current) : -1;
        this.reshuffle();
        this.dispatchEvent(new Event('change'));
    }

    // The entry a link names: a collection song by its path (with or without
    // the collection's folder), else a visitor's file by its path, any case.
    find(path) {
        const want = path.toLowerCase();
        return this.entries.find((e) => e.site && e.path.toLowerCase() === `songs/${want}`)
            || this.entries.find((e) => e.path.toLowerCase() === want) || null;
    }

    // The files beside a song by the library's rules, by path in any case.
    companions(entry) {
        const folder = folderOf(entry.path).toLowerCase(), own = stem(entry.name).toLowerCase();
        const find = (name) => this.files.get(folder + name);
        const bank = find(`${own}.bnk`) || find('standard.bnk');
        return { bank, lyrics: entry.kind === 'rol' ? null : find(`${own}.iss`) };
    }

    // What the library needs to open it: the song's, bank's and lyric
    // file's bytes. Files over MAX_SONG_BYTES are refused unread.
    // Kept per entry (a click plays without reading files again) until new
    // files come in, which may hold its bank.
    bytesOf(entry) {
        if (!entry.bytes) {
            const bytes = this.readBytes(entry);
            entry.bytes = bytes;
            // A fetch that failed is tried again at the next play.
            if (entry.site) bytes.catch(() => { if (entry.bytes === bytes) entry.bytes = null; });
        }
        return entry.bytes;
    }
    async readBytes(entry) {
        if (entry.site) return this.fetchBytes(entry);
        if (entry.size > MAX_SONG_BYTES) throw { name: 'too-big' };
        if (entry.size === 0) throw { name: 'empty' };
        const { bank, lyrics } = this.companions(entry);
        // A folder's bank serves many songs: each file is read once.
        const read = (f) => {
            if (!f || f.file.size > MAX_SONG_BYTES) return null;
            if (!this.read.has(f.path)) this.read.set(f.path, f.file.arrayBuffer().then((b) => new Uint8Array(b)));
            return this.read.get(f.path);
        };
        return { bytes: new Uint8Array(await entry.file.arrayBuffer()), bank: await read(bank), lyrics: await read(lyrics),
                 location: '/' + entry.path, bankName: bank?.path || null, lyricsName: lyrics?.path || null };
    }

    // A collection song from the site; the service worker keeps what was
    // fetched. A failed fetch is forgotten, so that a later play tries again.
    async fetchBytes(entry) {
        // Banks and lyric files serve many songs: each is fetched once.
        const get = (url, keep = true) => {
            if (!url) return null;
            if (!keep) return fetchBytes(url, false);
            if (!this.read.has(url)) {
                const p = fetchBytes(url);
                p.catch(() => this.read.delete(url));
                this.read.set(url, p);
            }
            return this.read.get(url);
        };
        const { song, bank, lyrics } = entry.urls;
        let lyricBytes = null;
        const [bytes, bankBytes] = await Promise.all([get(song, false), get(bank)]);
        try { lyricBytes = await get(lyrics); } catch { /* the song plays without its lyrics */ }
        if (entry.size && bytes.length !== entry.size) {
            throw { name: 'fetch', message: `${entry.name}: ${bytes.length} bytes where the index has ${entry.size}` };
        }
        return { bytes, bank: bankBytes, lyrics: lyricBytes, location: '/' + entry.path, bankName: entry.bankName, lyricsName: entry.lyricsName };
    }

    // Every collection file fetched once, for the service worker to keep:
    // `progress(done, total)` after each; resolves with the entries that
    // failed (each then says why).
    async keepAll(progress) {
        const urls = new Map();
        for (const e of this.entries) {
            if (!e.site || !e.urls) continue;
            for (const url of Object.values(e.urls)) if (url && !urls.has(url)) urls.set(url, []);
            for (const url of Object.values(e.urls)) if (url) urls.get(url).push(e);
        }
        let done = 0;
        const failed = new Set();
        for (const [url, entries] of urls) {
            try { await fetchBytes(url); } catch (error) {
                for (const e of entries) { failed.add(e); if (e.urls.lyrics !== url) { e.status = 'error'; e.error = error; } }
            }
            progress(++done, urls.size);
        }
        return [...failed];
    }

    remove(entry) {
        const i = this.entries.indexOf(entry);
        if (i < 0) return;
        this.entries.splice(i, 1);
        if (this.current > i) this.current--;
        else if (this.current === i) this.current = -1;
        this.reshuffle();
        this.dispatchEvent(new Event('change'));
    }
    // Lets go of the visitor's files; the site's collection stays.
    clear() {
        const current = this.entries[this.current];
        this.entries = this.entries.filter((e) => e.site);
        this.files.clear();
        for (const key of [...this.read.keys()]) if (!/^https?:/.test(key)) this.read.delete(key);
        this.current = current ? this.entries.indexOf(current) : -1;
        this.reshuffle();
        this.dispatchEvent(new Event('change'));
    }

    setLoop(mode) {
        this.loop = mode;
        this.reshuffle();
        this.dispatchEvent(new Event('change'));
    }
    reshuffle() {
        this.shuffled = this.entries.map((_, i) => i);
        for (let i = this.shuffled.length - 1; i > 0; i--) {
            const j = Math.floor(Math.random() * (i + 1));
            [this.shuffled[i], this.shuffled[j]] = [this.shuffled[j], this.shuffled[i]];
        }
    }

    // The index that plays after (step 1) or before (step -1) the current
    // one, skipping songs known not to play; -1 for none. `auto` is a song
    // ending by itself (loop one repeats it; loop off stops at the end).
    neighbour(step, auto = false) {
        const n = this.entries.length;
        if (!n) return -1;
        if (auto && this.loop === 'one' && this.current >= 0) return this.current;
        const order = this.loop === 'shuffle' ? this.shuffled : this.entries.map((_, i) => i);
        let at = order.indexOf(this.current);
        for (let tries = 0; tries < n; tries++) {
            at += step;
            if (at < 0 || at >= n) {
                if (auto && this.loop === 'off') return -1;
                at = (at + n) % n;
            }
            if (this.entries[order[at]].status !== 'error') return order[at];
        }
        return -1;
    }
}
