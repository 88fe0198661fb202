// The song list: files taken in from pickers and drops (folders too), songs
// recognised by their content, each song's bank and lyric file matched
// beside it by the library's rules (its own name with .bnk, else
// STANDARD.BNK in its folder; its own name with .iss; any case), and the
// order of play (loop off, all, one, shuffle).
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
    }

    // Takes files in: songs become entries (chosen one by one, any file
    // that is not a bank or lyric file becomes one, so that a bad file says
    // why it cannot play; inside folders, only songs by content or name).
    async add(files, { fromFolder = false } = {}) {
        for (const f of files) this.files.set(f.path.toLowerCase(), f);
        for (const e of this.entries) e.bytes = null;
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
            const entry = { key: ++this.serial, name: f.file.name, path: f.path, file: f.file, size: f.file.size,
                            kind, status: 'pending', title: '', lengthMs: null, error: null };
            this.entries.push(entry);
            added.push(entry);
        }
        this.reshuffle();
        this.dispatchEvent(new Event('change'));
        return added;
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
        if (!entry.bytes) entry.bytes = this.readBytes(entry);
        return entry.bytes;
    }
    async readBytes(entry) {
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

    remove(entry) {
        const i = this.entries.indexOf(entry);
        if (i < 0) return;
        this.entries.splice(i, 1);
        if (this.current > i) this.current--;
        else if (this.current === i) this.current = -1;
        this.reshuffle();
        this.dispatchEvent(new Event('change'));
    }
    clear() {
        this.entries = [];
        this.files.clear();
        this.read.clear();
        this.current = -1;
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
