// The address names the song and the time heard: #/SHC.IMS?t=83 (the path
// in the collection, or of a visitor's file; seconds). A link copied from
// the address bar opens that song there.

// The collection's songs are linked without its folder's name.
export const linkPath = (entry) => (entry.site && entry.path.startsWith('songs/') ? entry.path.slice(6) : entry.path);

export function formatLink(path, ms) {
    const encoded = path.split('/').map(encodeURIComponent).join('/');
    const s = Math.floor((ms || 0) / 1000);
    return `#/${encoded}${s > 0 ? `?t=${s}` : ''}`;
}

// {path, ms} from "#/PATH?t=83" (t also as 1:23), or null when the address
// names no song.
export function parseLink(hash) {
    if (!hash || !hash.startsWith('#/') || hash.length < 3) return null;
    const [rawPath, search = ''] = hash.slice(2).split('?');
    let path;
    try { path = rawPath.split('/').map(decodeURIComponent).join('/'); } catch { path = rawPath; }
    if (!path) return null;
    const t = new URLSearchParams(search).get('t') || '';
    let seconds = 0;
    if (/^\d+(:\d{1,2}){1,2}$/.test(t)) seconds = t.split(':').reduce((a, part) => a * 60 + Number(part), 0);
    else if (/^\d+(\.\d+)?$/.test(t)) seconds = Number(t);
    return { path, ms: Math.round(seconds * 1000) };
}

// Keeps the address in step with what plays: a new entry in the history
// for each song played (so back and forward move between them), the time
// updated in place as it plays.
export class SongAddress {
    constructor() {
        this.lastSecond = -1;
        this.lastWrite = 0;
    }
    songStarted(entry, ms) {
        const link = formatLink(linkPath(entry), ms);
        const named = parseLink(location.hash);
        const same = named && named.path.toLowerCase() === linkPath(entry).toLowerCase();
        if (same) history.replaceState(history.state, '', link);
        else history.pushState({ song: linkPath(entry) }, '', link);
        this.lastSecond = Math.floor(ms / 1000);
        this.lastWrite = performance.now();
    }
    // At most once a second: browsers limit how often the address changes.
    heardAt(entry, ms, now = false) {
        const second = Math.floor(ms / 1000);
        if (second === this.lastSecond) return;
        if (!now && performance.now() - this.lastWrite < 1000) return;
        this.lastSecond = second;
        this.lastWrite = performance.now();
        history.replaceState(history.state, '', formatLink(linkPath(entry), ms));
    }
}
