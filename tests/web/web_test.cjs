// Browser tests of the web page (scripts/web.sh test), its bench (scripts/web.sh bench) and
// its still frames as pictures (scripts/web.sh still): Debian's headless Chromium, driven by
// puppeteer-core, opens the built site from a static server of our own on localhost, and the
// unpacked web zip straight from the disk (file://).
//
//   node web_test.cjs --site DIR --work DIR --capture PATH (--tests [--disk DIR] | --bench)
//   node web_test.cjs --site DIR --work DIR --capture PATH --still --row R --out FILE
//                     [--keys K] [--scale S]
'use strict';

const childProcess = require('child_process');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const url = require('url');
const puppeteer = require('puppeteer-core');
const {PNG} = require('pngjs');

const ROWS_PER_SECOND = 44 / 3;
// A row inside every scene, the scene number it shows, and camera keys where the scene looks
// through the free camera.
const STILLS = [
    {scene: 8, row: 60}, {scene: 2, row: 200}, {scene: 1, row: 400}, {scene: 4, row: 580},
    {scene: 3, row: 760}, {scene: 5, row: 950}, {scene: 6, row: 1090}, {scene: 7, row: 1210},
    {scene: 10, row: 1380}, {scene: 4, row: 600, keys: '1a'}, {scene: 3, row: 700, keys: 'wwkq'},
];
// At most this share of pixels may differ by more than one level in a channel.
const MAX_DIFFERING = 0.005;
// Rows drawn at scale 2 and compared, shrunk, with scale 1: at most SCALED_MEAN levels apart
// on average, at most SCALED_SHARE of pixels further apart than SCALED_FAR levels.
const SCALED_ROWS = [200, 760];
const SCALED_MEAN = 2;
const SCALED_SHARE = 0.02;
const SCALED_FAR = 48;
const MISSING = 'data/cube.fobj';
// How long anything the tests wait for may take: loading, compiling and drawing run at the
// machine's pace, and a shared machine may be slow. Nothing waits a fixed time for a result;
// this is only the limit of a wait for a condition.
const PATIENCE = 300000;

function parseArgs() {
    const args = {};
    const argv = process.argv.slice(2);
    for (let i = 0; i < argv.length; ++i) {
        if (['--tests', '--bench', '--still'].includes(argv[i])) args.mode = argv[i].slice(2);
        else args[argv[i].slice(2)] = argv[++i];
    }
    const needed = ['site', 'work', 'capture', 'mode'].concat(args.mode === 'still' ? ['row', 'out'] : []);
    for (const key of needed) {
        if (!args[key]) throw new Error('web_test: missing --' + key);
    }
    return args;
}

// The site under /site/, again under /broken/ without one data file, and under /corrupt/ with
// that file cut short inside its header.
function serve(site) {
    const types = {'.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
        '.wasm': 'application/wasm', '.txt': 'text/plain', '.png': 'image/png'};
    const server = http.createServer((request, response) => {
        const url = decodeURIComponent(request.url.split('?')[0]);
        const match = /^\/(site|broken|corrupt)\/(.*)$/.exec(url);
        let file = match && path.normalize(match[2] || 'index.html');
        if (!match || file.startsWith('..') || (match[1] === 'broken' && file === MISSING)) {
            response.writeHead(404, {'Content-Type': 'text/plain'});
            response.end('not found');
            return;
        }
        fs.readFile(path.join(site, file), (error, bytes) => {
            if (error) {
                response.writeHead(404, {'Content-Type': 'text/plain'});
                response.end('not found');
                return;
            }
            response.writeHead(200, {'Content-Type': types[path.extname(file)] ||
                'application/octet-stream'});
            response.end(match[1] === 'corrupt' && file === MISSING ? bytes.subarray(0, 20) : bytes);
        });
    });
    return new Promise((resolve) => {
        server.listen(0, '127.0.0.1', () => resolve(server));
    });
}

async function launch(work) {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'demo-web-chromium-'));
    const browser = await puppeteer.launch({
        executablePath: '/usr/bin/chromium',
        headless: true,
        userDataDir: profile,
        // The page's bench keeps its thread busy for minutes at larger scales.
        protocolTimeout: 1800000,
        timeout: PATIENCE,
        args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
            '--disable-background-networking', '--disable-component-update', '--disable-sync',
            '--autoplay-policy=no-user-gesture-required', '--window-size=640,480'],
    });
    browser.profile = profile;
    return browser;
}

// WEB_TEST_SLOWDOWN=N runs every page's processor N times slower (Chromium's throttling): the
// tests must pass on a busy machine as on an idle one.
async function newPage(browser) {
    const page = await browser.newPage();
    page.setDefaultTimeout(PATIENCE);
    if (process.env.WEB_TEST_SLOWDOWN) await page.emulateCPUThrottling(Number(process.env.WEB_TEST_SLOWDOWN));
    return page;
}

async function openPage(browser, url, width, height, deviceScaleFactor) {
    const page = await newPage(browser);
    page.log = [];
    page.on('console', (message) => page.log.push(message.text()));
    page.on('pageerror', (error) => page.log.push('page error: ' + error.message));
    await page.setViewport({width, height, deviceScaleFactor: deviceScaleFactor || 1});
    await page.goto(url, {waitUntil: 'load'});
    return page;
}

async function waitState(page, states) {
    await page.waitForFunction((wanted) => wanted.includes(document.body.dataset.state),
        {timeout: PATIENCE, polling: 50}, states);
    return page.evaluate(() => document.body.dataset.state);
}

// A still's mark on the root element: "drawn" once its frame has been painted, or "failed".
async function waitFrame(page) {
    await page.waitForFunction(() => document.documentElement.dataset.frame, {timeout: PATIENCE, polling: 50});
    return page.evaluate(() => document.documentElement.dataset.frame);
}

// True once `condition(arg)` holds in the page, false if it never does within PATIENCE.
async function waitUntil(page, condition, arg) {
    try {
        await page.waitForFunction(condition, {timeout: PATIENCE, polling: 20}, arg);
        return true;
    } catch (error) {
        if (error.name === 'TimeoutError') return false;
        throw error;
    }
}

// Two animation frames of the page: the show has taken at least one step since.
function nextFrames(page) {
    return page.evaluate(() => new Promise((resolve) =>
        requestAnimationFrame(() => requestAnimationFrame(resolve))));
}

// The heard row and the page's clock read in one go, so that however long the round trip to
// the page takes, the two belong together.
function heardRowAndTime(page) {
    return page.evaluate(() => [window.demo.heardRow(), performance.now()]);
}

// Rows a second between two readings taken at least `ms` apart by the page's clock.
async function heardRate(page, ms) {
    const [firstRow, firstTime] = await heardRowAndTime(page);
    await sleep(ms);
    const [secondRow, secondTime] = await heardRowAndTime(page);
    const seconds = (secondTime - firstTime) / 1000;
    return {first: firstRow, second: secondRow, seconds, rate: (secondRow - firstRow) / seconds};
}

function readPng(file) {
    return PNG.sync.read(fs.readFileSync(file));
}

// The share of pixels whose largest channel difference exceeds one level, the count of pixels
// that differ at all, and the largest difference.
function compare(a, b) {
    if (a.width !== b.width || a.height !== b.height) {
        throw new Error(`sizes differ: ${a.width}x${a.height} and ${b.width}x${b.height}`);
    }
    let differing = 0;
    let touched = 0;
    let largest = 0;
    for (let i = 0; i < a.width * a.height; ++i) {
        let worst = 0;
        for (let c = 0; c < 3; ++c) worst = Math.max(worst, Math.abs(a.data[4 * i + c] - b.data[4 * i + c]));
        if (worst > 1) ++differing;
        if (worst > 0) ++touched;
        largest = Math.max(largest, worst);
    }
    return {share: differing / (a.width * a.height), touched, largest};
}

// The picture shrunk by `factor` in each direction, each pixel the mean of its block.
function downsample(image, factor) {
    const width = image.width / factor;
    const height = image.height / factor;
    const data = Buffer.alloc(width * height * 4);
    for (let y = 0; y < height; ++y) {
        for (let x = 0; x < width; ++x) {
            for (let c = 0; c < 4; ++c) {
                let sum = 0;
                for (let dy = 0; dy < factor; ++dy) {
                    for (let dx = 0; dx < factor; ++dx) {
                        sum += image.data[4 * ((y * factor + dy) * image.width + x * factor + dx) + c];
                    }
                }
                data[4 * (y * width + x) + c] = Math.round(sum / (factor * factor));
            }
        }
    }
    return {width, height, data};
}

// The mean channel difference in levels and the share of pixels where a channel differs by
// more than `far` levels.
function distance(a, b, far) {
    if (a.width !== b.width || a.height !== b.height) {
        throw new Error(`sizes differ: ${a.width}x${a.height} and ${b.width}x${b.height}`);
    }
    let total = 0;
    let distant = 0;
    for (let i = 0; i < a.width * a.height; ++i) {
        let worst = 0;
        for (let c = 0; c < 3; ++c) {
            const d = Math.abs(a.data[4 * i + c] - b.data[4 * i + c]);
            total += d;
            worst = Math.max(worst, d);
        }
        if (worst > far) ++distant;
    }
    return {mean: total / (3 * a.width * a.height), share: distant / (a.width * a.height)};
}

function canvasSize(page) {
    return page.evaluate(() => {
        const canvas = document.getElementById('screen');
        return canvas.width + 'x' + canvas.height;
    });
}

function sleep(ms) {
    return new Promise((resolve) => setTimeout(resolve, ms));
}

const results = [];
async function check(name, body) {
    const started = Date.now();
    try {
        const detail = await body();
        results.push({name, ok: true});
        console.log(`PASS ${name}${detail ? ': ' + detail : ''} (${((Date.now() - started) / 1000).toFixed(1)} s)`);
    } catch (error) {
        results.push({name, ok: false});
        console.log(`FAIL ${name}: ${error.message}`);
    }
}

function expect(condition, message) {
    if (!condition) throw new Error(message);
}

async function runTests(browser, base, args) {
    const shots = path.join(args.work, 'shots');
    fs.mkdirSync(shots, {recursive: true});

    await check('start screen after loading', async () => {
        const page = await openPage(browser, base + '/site/index.html', 1024, 640);
        await waitState(page, ['ready', 'failed']);
        const view = await page.evaluate(() => ({
            state: document.body.dataset.state,
            button: !document.getElementById('start').hidden,
            message: document.getElementById('message').textContent,
        }));
        await page.screenshot({path: path.join(shots, 'start.png')});
        await page.close();
        expect(view.state === 'ready' && view.button, 'no start button: ' + view.message);
    });

    await check('the show plays: the heard row advances with time', async () => {
        const page = await openPage(browser, base + '/site/index.html?autoplay', 1024, 640);
        await waitState(page, ['playing', 'failed']);
        const note = await page.evaluate(() => document.getElementById('note').textContent);
        const {first, second, seconds, rate} = await heardRate(page, 2000);
        await page.screenshot({path: path.join(shots, 'playing.png')});
        await page.close();
        expect(Math.abs(rate - ROWS_PER_SECOND) < 0.25 * ROWS_PER_SECOND,
            `rows advance at ${rate.toFixed(2)} a second, not ${ROWS_PER_SECOND.toFixed(2)}`);
        return `row ${first.toFixed(1)} -> ${second.toFixed(1)} in ${seconds.toFixed(2)} s` +
            (note ? ` (${note})` : ' with sound');
    });

    for (const still of STILLS) {
        const label = `still frame at row ${still.row} (scene ${still.scene})` +
            (still.keys ? ` with keys ${still.keys}` : '') + ' matches capture';
        await check(label, async () => {
            const name = `row${still.row}${still.keys ? '-' + still.keys : ''}`;
            const reference = path.join(shots, name + '-native.png');
            const captureArgs = ['--row', String(still.row), '--png', reference];
            if (still.keys) captureArgs.push('--keys', still.keys);
            childProcess.execFileSync(args.capture, captureArgs);
            let url = `${base}/site/index.html?row=${still.row}`;
            if (still.keys) url += '&keys=' + encodeURIComponent(still.keys);
            const page = await openPage(browser, url, 640, 480);
            const frame = await waitFrame(page);
            const shot = path.join(shots, name + '-web.png');
            await page.screenshot({path: shot});
            const title = await page.title();
            await page.close();
            expect(frame === 'drawn', 'the page failed: ' + page.log.join(' | '));
            expect(title === `demo110: row ${still.row} drawn`, 'title ' + title);
            const {share, touched, largest} = compare(readPng(shot), readPng(reference));
            const detail = `${(100 * share).toFixed(3)}% of pixels differ by more than one level; ` +
                `${touched} differ at all, largest difference ${largest}`;
            expect(share <= MAX_DIFFERING, detail);
            return detail;
        });
    }

    // The same frames drawn at twice the size: shrunk back, close to the show's own size
    // (edges and texture samples fall differently, so not equal).
    for (const row of SCALED_ROWS) {
        await check(`the still at row ${row} at scale 2 is 1280 x 960, shrunk close to scale 1`, async () => {
            const reference = path.join(shots, `row${row}-native.png`);
            if (!fs.existsSync(reference)) {
                childProcess.execFileSync(args.capture, ['--row', String(row), '--png', reference]);
            }
            const page = await openPage(browser, `${base}/site/index.html?row=${row}&scale=2`, 1280, 960);
            const frame = await waitFrame(page);
            const size = await canvasSize(page);
            const shot = path.join(shots, `row${row}-scale2-web.png`);
            await page.screenshot({path: shot});
            await page.close();
            expect(frame === 'drawn', 'the page failed: ' + page.log.join(' | '));
            expect(size === '1280x960', 'canvas ' + size);
            const {mean, share} = distance(downsample(readPng(shot), 2), readPng(reference), SCALED_FAR);
            const detail = `mean difference ${mean.toFixed(2)} levels, ${(100 * share).toFixed(2)}% ` +
                `of pixels differ by more than ${SCALED_FAR}`;
            expect(mean <= SCALED_MEAN && share <= SCALED_SHARE, detail);
            return detail;
        });
    }

    await check('scale=auto picks the largest scale within the area in device pixels', async () => {
        // 1024 x 640: 640 / 24 = 26 steps of 0.05 -> 832 x 624 (scale 1.3).
        const show = await openPage(browser, base + '/site/index.html?autoplay&scale=auto', 1024, 640);
        const state = await waitState(show, ['playing', 'failed']);
        const played = await canvasSize(show);
        const enlargedSmooth = await show.evaluate(() => document.getElementById('screen').classList.contains('smooth'));
        await show.close();
        expect(state === 'playing', 'the show did not start: ' + show.log.join(' | '));
        // 1000 x 800 at 1.5 device pixels each: 1500 x 1200 -> 46 steps -> 1472 x 1104.
        const still = await openPage(browser, base + '/site/index.html?row=60&scale=auto', 1000, 800, 1.5);
        const stillFrame = await waitFrame(still);
        const drawn = await canvasSize(still);
        await still.close();
        expect(stillFrame === 'drawn', 'the still failed: ' + still.log.join(' | '));
        expect(played === '832x624' && drawn === '1472x1104',
            `the show got ${played} (832x624 wanted), the still ${drawn} (1472x1104 wanted)`);
        expect(!enlargedSmooth, 'the enlarged picture lost its sharp pixels');
        return `show ${played}, still ${drawn}`;
    });

    await check('a picture larger than the window is shrunk smoothly, even with sharp pixels', async () => {
        const page = await openPage(browser, base + '/site/index.html?autoplay&scale=2', 1024, 640);
        const state = await waitState(page, ['playing', 'failed']);
        const view = await page.evaluate(() => {
            const canvas = document.getElementById('screen');
            return {size: canvas.width + 'x' + canvas.height, smooth: canvas.classList.contains('smooth'),
                crisp: document.getElementById('crisp').checked};
        });
        await page.close();
        expect(state === 'playing', 'the show did not start: ' + page.log.join(' | '));
        expect(view.size === '1280x960' && view.smooth && view.crisp, JSON.stringify(view));
        return view.size;
    });

    await check('a scale that is not offered fails naming it', async () => {
        const messages = [];
        for (const [value, query] of [['3.33', '?scale=3.33'], ['0', '?row=60&scale=0'],
            ['big', '?bench&scale=big']]) {
            const page = await openPage(browser, base + '/site/index.html' + query, 1024, 640);
            const state = await waitState(page, ['ready', 'still', 'bench', 'failed']);
            const message = await page.evaluate(() => document.getElementById('message').textContent);
            const frame = await page.evaluate(() => document.documentElement.dataset.frame);
            await page.close();
            expect(state === 'failed' && message.includes(value) && !message.includes('\n'),
                `${query}: state ${state}, message "${message}"`);
            // A still that cannot be drawn says so to screenshot tools too.
            expect(frame === (query.includes('row=') ? 'failed' : undefined), `${query}: frame mark ${frame}`);
            messages.push(message);
        }
        return messages.join(' | ');
    });

    await check('keys move the free camera; Alt+Enter enters full screen; Escape leaves it, then ends the show', async () => {
        const page = await openPage(browser, base + '/site/index.html?autoplay&from=600', 1024, 640);
        await waitState(page, ['playing', 'failed']);
        const camera = () => page.evaluate(() => [0, 1, 2, 3, 4, 5].map((i) => window.demo.camera(i)));
        const before = await camera();
        // Keys reach the show at its next step: each result is waited for, not slept for.
        await page.keyboard.press('KeyA');
        await page.keyboard.press('KeyW');
        await page.keyboard.press('KeyU');
        await waitUntil(page, (b) => [0, 2, 3].every((i) => window.demo.camera(i) !== b[i]), before);
        const moved = await camera();
        await page.keyboard.press('Digit1');
        await waitUntil(page, (m) => window.demo.camera(0) !== m[0], moved);
        const preset = await camera();
        const fullscreen = () => page.evaluate(() => !!document.fullscreenElement);
        await page.keyboard.down('Alt');
        await page.keyboard.press('Enter');
        await page.keyboard.up('Alt');
        const entered = await waitUntil(page, () => !!document.fullscreenElement);
        // The first Escape only leaves full screen, the second ends the show.
        await page.keyboard.press('Escape');
        const left = await waitUntil(page, () => !document.fullscreenElement);
        await nextFrames(page);
        const stillPlaying = await page.evaluate(() => document.body.dataset.state);
        await page.keyboard.press('Escape');
        const state = await waitState(page, ['ready', 'failed']);
        await page.close();
        expect(entered && left && stillPlaying === 'playing',
            `Alt+Enter: full screen ${entered}; Escape: left it ${left}, state ${stillPlaying}`);
        const near = (a, b) => Math.abs(a - b) < 1e-4;
        expect(near(moved[0], before[0] + 4) && near(moved[2], before[2] + 4) &&
            near(moved[3], before[3] + 0.1), `A, W, U moved the camera from ${before} to ${moved}`);
        expect(near(preset[0], -96) && near(preset[1], -92) && near(preset[3], 1.2),
            `1 gave the camera ${preset}`);
        expect(state === 'ready', 'Escape left the page ' + state);
        return `camera ${before.map((v) => +v.toFixed(2))} -> ${moved.map((v) => +v.toFixed(2))}`;
    });

    await check('the end of the show returns to the start screen; the show plays again in the same program', async () => {
        const page = await openPage(browser, base + '/site/index.html?autoplay&from=1472', 1024, 640);
        // Eight rows of show: "playing" may come and go between two looks, so what is waited
        // for is the start screen that only the end brings back.
        await waitUntil(page, () => document.body.dataset.state === 'failed' ||
            (document.body.dataset.state === 'ready' && document.getElementById('start').textContent === 'Watch again'));
        const state = await page.evaluate(() => document.body.dataset.state);
        const button = await page.evaluate(() => document.getElementById('start').textContent);
        await page.screenshot({path: path.join(shots, 'ended.png')});
        // Again: the same instance plays it from the data it already holds, to its end again.
        await page.click('#start');
        const again = await waitState(page, ['playing', 'failed'], 10000);
        const ended = await waitState(page, ['ready', 'failed'], 10000);
        const instances = await page.evaluate(() => window.demo.instances());
        await page.close();
        expect(state === 'ready' && button === 'Watch again', `state ${state}, button "${button}"`);
        expect(again === 'playing' && ended === 'ready', `again: ${again}, then ${ended}`);
        expect(instances === 1, `${instances} program instances for two shows`);
        return 'button: ' + button + ', instances: ' + instances;
    });

    await check('a missing data file gives the page\'s message', async () => {
        const page = await openPage(browser, base + '/broken/index.html', 1024, 640);
        const state = await waitState(page, ['ready', 'failed']);
        const message = await page.evaluate(() => document.getElementById('message').textContent);
        await page.screenshot({path: path.join(shots, 'missing.png')});
        await page.close();
        expect(state === 'failed' && message.includes(MISSING), `state ${state}, message "${message}"`);
        return message;
    });

    await check('a data file cut short stops the start with the reader\'s message', async () => {
        const page = await openPage(browser, base + '/corrupt/index.html?autoplay', 1024, 640);
        const state = await waitState(page, ['playing', 'failed']);
        const message = await page.evaluate(() => document.getElementById('message').textContent);
        await page.close();
        expect(state === 'failed' && message.includes('cube.fobj'), `state ${state}, message "${message}"`);
        return message;
    });

    await check('without Web Audio the show plays silently on the real-time clock', async () => {
        const page = await newPage(browser);
        await page.evaluateOnNewDocument(() => {
            delete window.AudioContext;
            delete window.webkitAudioContext;
        });
        await page.setViewport({width: 1024, height: 640, deviceScaleFactor: 1});
        await page.goto(base + '/site/index.html?autoplay', {waitUntil: 'load'});
        await waitState(page, ['playing', 'failed']);
        const {rate} = await heardRate(page, 1500);
        const note = await page.evaluate(() => document.getElementById('note').textContent);
        await page.close();
        expect(note.includes('no Web Audio'), `note "${note}"`);
        expect(Math.abs(rate - ROWS_PER_SECOND) < 0.25 * ROWS_PER_SECOND,
            `rows advance at ${rate.toFixed(2)} a second`);
        return note;
    });

    await check('without WebAssembly the page says so', async () => {
        const page = await newPage(browser);
        await page.evaluateOnNewDocument(() => { delete window.WebAssembly; });
        await page.goto(base + '/site/index.html', {waitUntil: 'load'});
        const state = await waitState(page, ['ready', 'failed']);
        const message = await page.evaluate(() => document.getElementById('message').textContent);
        await page.close();
        expect(state === 'failed' && message.includes('WebAssembly'), `state ${state}, "${message}"`);
        return message;
    });

    if (args.disk) await runDiskTests(browser, args, shots);

    const failed = results.filter((r) => !r.ok).length;
    console.log(`web tests: ${results.length - failed} passed, ${failed} failed (pictures in ${shots})`);
    return failed === 0;
}

// The unpacked web zip opened as files, as a party screen or a user's double-click opens it.
async function runDiskTests(browser, args, shots) {
    const page = (folder) => url.pathToFileURL(path.join(folder, 'index.html')).href;

    await check('opened from the disk: the still at row 600 equals capture, no pixel more than one level off', async () => {
        const reference = path.join(shots, 'row600-native.png');
        childProcess.execFileSync(args.capture, ['--row', '600', '--png', reference]);
        const still = await openPage(browser, page(args.disk) + '?row=600', 640, 480);
        const frame = await waitFrame(still);
        const shot = path.join(shots, 'row600-disk.png');
        await still.screenshot({path: shot});
        await still.close();
        expect(frame === 'drawn', 'the page failed: ' + still.log.join(' | '));
        const {touched, largest} = compare(readPng(shot), readPng(reference));
        expect(largest <= 1, `${touched} pixels differ, by up to ${largest} levels`);
        return `${touched} pixels differ, by up to ${largest} levels`;
    });

    await check('opened from the disk: the show plays, the heard row advances', async () => {
        const show = await openPage(browser, page(args.disk) + '?autoplay', 1024, 640);
        const state = await waitState(show, ['playing', 'failed']);
        expect(state === 'playing', 'the show did not start: ' +
            await show.evaluate(() => document.getElementById('message').textContent));
        const {first, second, seconds, rate} = await heardRate(show, 2000);
        await show.close();
        expect(Math.abs(rate - ROWS_PER_SECOND) < 0.25 * ROWS_PER_SECOND,
            `rows advance at ${rate.toFixed(2)} a second, not ${ROWS_PER_SECOND.toFixed(2)}`);
        return `row ${first.toFixed(1)} -> ${second.toFixed(1)} in ${seconds.toFixed(2)} s`;
    });

    await check('opened from the disk without one of its scripts: the page names it', async () => {
        const copy = fs.mkdtempSync(path.join(os.tmpdir(), 'demo-web-disk-'));
        try {
            fs.cpSync(args.disk, copy, {recursive: true});
            const missing = 'embedded/' + MISSING + '.js';
            fs.rmSync(path.join(copy, missing));
            const broken = await openPage(browser, page(copy), 1024, 640);
            const state = await waitState(broken, ['ready', 'failed']);
            const message = await broken.evaluate(() => document.getElementById('message').textContent);
            await broken.close();
            expect(state === 'failed' && message.includes(missing), `state ${state}, message "${message}"`);
            return message;
        } finally {
            fs.rmSync(copy, {recursive: true, force: true});
        }
    });
}

function parseBench(text) {
    const table = {};
    for (const line of text.split('\n')) {
        const fields = line.trim().split(/\s+/);
        // capture may add columns after the p95 (the multiple of the empty frame).
        if (fields.length >= 4 && /^[0-9]+$/.test(fields[1]) && /^[0-9.]+$/.test(fields[2])) {
            table[fields[0]] = {frames: +fields[1], median: +fields[2], p95: +fields[3]};
        }
    }
    return table;
}

// The lower of two runs' figures per scene: on a shared machine, the run least disturbed.
function keepBest(best, table) {
    for (const [scene, row] of Object.entries(table)) {
        const old = best[scene];
        best[scene] = old ? {frames: row.frames, median: Math.min(old.median, row.median),
            p95: Math.min(old.p95, row.p95)} : row;
    }
}

// Native and WebAssembly benches in turn, `rounds` times each, so that both see the same load.
// WEB_BENCH_SCALE=S benches the page alone at that scale.
async function runBench(browser, base, args) {
    const rounds = Number(process.env.WEB_BENCH_ROUNDS || 3);
    const scale = process.env.WEB_BENCH_SCALE;
    const web = {};
    const native = {};
    let size = '';
    let overall = '';
    for (let round = 0; round < rounds; ++round) {
        const page = await openPage(browser, base + '/site/index.html?bench' +
            (scale ? '&scale=' + encodeURIComponent(scale) : ''), 1024, 640);
        await page.waitForFunction(() => ['bench', 'failed'].includes(document.body.dataset.state),
            {timeout: 1800000, polling: 500});
        const state = await page.evaluate(() => document.body.dataset.state);
        const output = await page.evaluate(() => window.demo.output.join('\n'));
        await page.close();
        if (state !== 'bench') throw new Error('the page\'s bench failed: ' + output);
        size = output.split('\n')[0];
        overall = output.split('\n').filter((line) => line.startsWith('rendering alone'))[0] || '';
        keepBest(web, parseBench(output));
        if (!scale) keepBest(native, parseBench(childProcess.execFileSync(args.capture, ['--bench']).toString()));
    }
    if (scale) {
        console.log(`${size}: best of ${rounds} runs; frame medians and 95th percentiles in ms`);
        console.log('scene    frames   wasm    p95');
        for (const [scene, w] of Object.entries(web)) {
            console.log(`${scene.padEnd(8)} ${String(w.frames).padStart(6)} ${w.median.toFixed(3).padStart(8)} ` +
                `${w.p95.toFixed(3).padStart(8)}`);
        }
        if (overall) console.log(overall + (rounds > 1 ? ' (last run)' : ''));
        return true;
    }
    console.log(`best of ${rounds} runs each; frame medians and 95th percentiles in ms`);
    console.log('scene    frames   native   wasm    ratio   p95 native / wasm');
    let worst = 0;
    for (const scene of Object.keys(native)) {
        const n = native[scene];
        const w = web[scene];
        if (!w) continue;
        const ratio = w.median / n.median;
        worst = Math.max(worst, ratio);
        console.log(`${scene.padEnd(8)} ${String(n.frames).padStart(6)} ${n.median.toFixed(3).padStart(8)} ` +
            `${w.median.toFixed(3).padStart(6)} ${ratio.toFixed(2).padStart(8)}   ` +
            `${n.p95.toFixed(3)} / ${w.p95.toFixed(3)}`);
    }
    console.log(`largest ratio: ${worst.toFixed(2)} (the browser's clock counts in steps of 0.1 ms)`);
    return true;
}

// One still frame of the page as a PNG file: the picture at its own size, taken once the page
// has marked the frame drawn, however long loading takes.
async function takeStill(browser, base, args) {
    const scale = Number(args.scale || 1);
    let url = `${base}/site/index.html?row=${encodeURIComponent(args.row)}`;
    if (args.keys) url += '&keys=' + encodeURIComponent(args.keys);
    if (args.scale) url += '&scale=' + encodeURIComponent(args.scale);
    const page = await openPage(browser, url, Math.ceil(640 * scale), Math.ceil(480 * scale));
    const frame = await waitFrame(page);
    if (frame === 'drawn') await page.screenshot({path: args.out});
    const message = await page.evaluate(() => document.getElementById('message').textContent);
    await page.close();
    if (frame !== 'drawn') throw new Error('the frame could not be drawn: ' + message);
    console.log(`web: row ${args.row} in ${args.out}`);
    return true;
}

async function main() {
    const args = parseArgs();
    const server = await serve(args.site);
    const base = 'http://127.0.0.1:' + server.address().port;
    const browser = await launch(args.work);
    let ok = false;
    try {
        const run = {tests: runTests, bench: runBench, still: takeStill}[args.mode];
        ok = await run(browser, base, args);
    } finally {
        await browser.close();
        fs.rmSync(browser.profile, {recursive: true, force: true});
        server.close();
    }
    process.exit(ok ? 0 : 1);
}

main().catch((error) => {
    console.error('web_test: ' + error.message);
    process.exit(1);
});
