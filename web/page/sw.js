// Keeps the site for offline use: every file of this build is cached at
// install; requests are answered from the cache first. A new build has a
// new version, whose install replaces the old cache.
importScripts('site-files.js');

const cacheName = `velk-${self.siteVersion}`;

self.addEventListener('install', (e) => {
    e.waitUntil(caches.open(cacheName).then((c) => c.addAll(['./', ...self.siteFiles])).then(() => self.skipWaiting()));
});
self.addEventListener('activate', (e) => {
    e.waitUntil(caches.keys().then((names) => Promise.all(names.filter((n) => n.startsWith('velk-') && n !== cacheName)
        .map((n) => caches.delete(n)))).then(() => self.clients.claim()));
});
self.addEventListener('fetch', (e) => {
    if (e.request.method !== 'GET') return;
    e.respondWith(caches.match(e.request, { ignoreSearch: true }).then((hit) => hit || fetch(e.request)));
});
