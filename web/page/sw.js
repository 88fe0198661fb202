// Keeps the site for offline use: every file of this build is cached at
// install; requests are answered from the cache first. A new build has a
// new version, whose install replaces the old cache. The collection's songs
// (songs/, fetched with their content's hash in the query) are kept in a
// cache of their own as they are first fetched, across builds: a song
// heard once, or fetched by "keep all offline", plays without the network.
importScripts('site-files.js');

const cacheName = `velk-${self.siteVersion}`;
const songCache = 'velk-songs';
const songsUrl = new URL('songs/', self.registration.scope).href;

self.addEventListener('install', (e) => {
    e.waitUntil(caches.open(cacheName).then((c) => c.addAll(['./', ...self.siteFiles])).then(() => self.skipWaiting()));
});
self.addEventListener('activate', (e) => {
    e.waitUntil(caches.keys().then((names) => Promise.all(names.filter((n) => n.startsWith('velk-') && n !== cacheName && n !== songCache)
        .map((n) => caches.delete(n)))).then(() => self.clients.claim()));
});

async function song(request) {
    const cache = await caches.open(songCache);
    const hit = await cache.match(request);
    if (hit) return hit;
    const response = await fetch(request);
    if (response.ok) await cache.put(request, response.clone());
    return response;
}

self.addEventListener('fetch', (e) => {
    if (e.request.method !== 'GET') return;
    if (e.request.url.startsWith(songsUrl)) { e.respondWith(song(e.request)); return; }
    e.respondWith(caches.match(e.request, { ignoreSearch: true }).then((hit) => hit || fetch(e.request)));
});
