// The page's words: Korean for browsers that ask for Korean, else English.
const en = {
    title: 'Velk: IMS songs', open: 'Open songs', openFolder: 'Open a folder', clear: 'Clear',
    drop: 'Drop IMS or ROL songs here, or folders holding them, with their banks (.BNK) and lyric files (.ISS).',
    play: 'Play', pause: 'Pause', previous: 'Previous', next: 'Next', volume: 'Volume',
    loop: 'Loop', loopOff: 'off', loopAll: 'all', loopOne: 'one', loopShuffle: 'shuffle',
    emulator: 'Emulator', nuked: 'Nuked OPL3 (the chip\'s own level)', satoh: 'satoh: what the Winamp plug-in plays (louder, clips)',
    woody: 'woody (DOSBox)', ken: 'Ken Silverman\'s', bends: 'Pitch bends', tempo: 'Tempo', key: 'Key',
    mute: 'Mute', solo: 'Solo', voices: 'Voices', exportWav: 'Save WAV', exportLrc: 'Save LRC', exportMidi: 'Save MIDI',
    rendering: 'Rendering', keys: 'Keys', close: 'Close', noSong: 'No song playing', reading: 'reading…',
    tooBig: 'over 64 MiB: not read', empty: 'an empty file', noBankBeside: 'no bank beside it',
    unreadable: 'cannot be read', noLyrics: 'no lyric file', lyricsIgnored: 'lyric file ignored: ',
    offline: 'Ready offline', loading: 'Loading the player…', failedToStart: 'The player cannot start: ',
    theme: 'Theme: the system\'s, light or dark', themeAuto: 'Theme: the system\'s', themeLight: 'Theme: light', themeDark: 'Theme: dark',
    evenLoudness: 'Even loudness', search: 'Search titles, file names and lyric credits', searchShort: 'Search', sortBy: 'Sort', sortNone: 'as added',
    sortTitle: 'title', sortName: 'file name', sortLength: 'length', keepOffline: 'Keep all offline',
    keeping: (done, total) => `Keeping ${done} of ${total}…`, kept: 'Every song is kept offline',
    keptBut: (n) => `Kept offline, but ${n} could not be fetched`,
    tabNow: 'Player', tabList: 'Songs', count: (shown, all) => (shown === all ? `${all} songs` : `${shown} of ${all} songs`),
    noSuchSong: (path) => `No song “${path}” here`, indexMissing: 'the collection\'s index cannot be read: ',
    voiceGain: (name) => `${name} volume`, collectionName: 'The collection',
    seeking: (at, percent) => `Seeking to ${at}… ${percent}%`,
    helpKeys: [['Space', 'play / pause'], ['← →', 'seek 5 s'], ['↑ ↓', 'volume'], ['n / p', 'next / previous song'],
               ['1 … 9, b s t c h', 'mute voice 1 … 9, the drums'], ['Shift + those', 'solo'], ['0', 'every voice heard'],
               ['l', 'loop mode'], ['+ -', 'tempo'], ['[ ]', 'key down / up'], ['?', 'this list']],
};
const ko = {
    title: 'Velk: IMS 노래', open: '노래 열기', openFolder: '폴더 열기', clear: '비우기',
    drop: 'IMS·ROL 노래나 그 폴더를 악기 파일(.BNK), 가사 파일(.ISS)과 함께 여기에 끌어다 놓으세요.',
    play: '재생', pause: '일시 정지', previous: '이전', next: '다음', volume: '음량',
    loop: '반복', loopOff: '안 함', loopAll: '전체', loopOne: '한 곡', loopShuffle: '무작위',
    emulator: '에뮬레이터', nuked: 'Nuked OPL3 (칩 본래 음량)', satoh: 'satoh: Winamp 플러그인이 내는 소리 (더 크고 클리핑됨)',
    woody: 'woody (DOSBox)', ken: 'Ken Silverman', bends: '피치 벤드', tempo: '빠르기', key: '조',
    mute: '음소거', solo: '독주', voices: '성부', exportWav: 'WAV 저장', exportLrc: 'LRC 저장', exportMidi: 'MIDI 저장',
    rendering: '만드는 중', keys: '단축키', close: '닫기', noSong: '재생 중인 노래 없음', reading: '읽는 중…',
    tooBig: '64 MiB 초과: 읽지 않음', empty: '빈 파일', noBankBeside: '옆에 악기 파일 없음',
    unreadable: '읽을 수 없음', noLyrics: '가사 파일 없음', lyricsIgnored: '가사 파일 무시됨: ',
    offline: '오프라인 사용 가능', loading: '플레이어를 불러오는 중…', failedToStart: '플레이어를 시작할 수 없음: ',
    theme: '테마: 시스템, 밝게, 어둡게', themeAuto: '테마: 시스템 설정', themeLight: '테마: 밝게', themeDark: '테마: 어둡게',
    evenLoudness: '고른 음량', search: '제목, 파일 이름, 작사·작곡 찾기', searchShort: '찾기', sortBy: '정렬', sortNone: '넣은 순서',
    sortTitle: '제목', sortName: '파일 이름', sortLength: '길이', keepOffline: '모두 오프라인에 보관',
    keeping: (done, total) => `${total}개 중 ${done}개 보관 중…`, kept: '모든 노래를 오프라인에 보관함',
    keptBut: (n) => `보관했지만 ${n}개는 받지 못함`,
    tabNow: '플레이어', tabList: '노래 목록', count: (shown, all) => (shown === all ? `노래 ${all}곡` : `노래 ${all}곡 중 ${shown}곡`),
    noSuchSong: (path) => `“${path}” 노래가 여기 없음`, indexMissing: '모음집 목록을 읽을 수 없음: ',
    voiceGain: (name) => `${name} 음량`, collectionName: '모음집',
    seeking: (at, percent) => `${at}(으)로 이동 중… ${percent}%`,
    helpKeys: [['Space', '재생 / 일시 정지'], ['← →', '5초 이동'], ['↑ ↓', '음량'], ['n / p', '다음 / 이전 노래'],
               ['1 … 9, b s t c h', '성부 1 … 9, 타악기 음소거'], ['Shift + 같은 키', '독주'], ['0', '모든 성부 듣기'],
               ['l', '반복 방식'], ['+ -', '빠르기'], ['[ ]', '조 내림 / 올림'], ['?', '이 목록']],
};

const wanted = (navigator.languages && navigator.languages.length ? navigator.languages : [navigator.language || 'en']);
export const lang = wanted.some((l) => /^ko\b/i.test(l)) ? 'ko' : 'en';
export const t = lang === 'ko' ? ko : en;

// Voice names come from the library in English.
const koVoices = { 'Bass drum': '베이스 드럼', 'Snare drum': '스네어 드럼', 'Tom-tom': '탐탐', Cymbal: '심벌', 'Hi-hat': '하이햇' };
export const voiceName = (name) => (lang === 'ko' ? koVoices[name] || name.replace('Voice', '성부') : name);
