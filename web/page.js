// The page around the show: loads the program and its data with a progress bar, decodes the
// music, waits for the start click (browsers start sound only after one), then lets the
// browser's frame callback drive the show one step per frame. At the end the start screen
// comes back.
//
// Served by a web server, the page reads the files listed in files.js. Opened from the disk
// (file://), where browsers refuse to let a page read files, it runs the scripts under
// embedded/ instead, each of which carries one of those files (scripts/web-embed.py).
//
// Address options:
//   ?row=R[&keys=K]  a still frame at sync row R (camera keys K applied first), the picture
//                    alone at its own size at the top-left corner, as `capture --row R --png`
//   ?autoplay        starts without the click (where the browser allows sound without one)
//   ?bench           the capture tool's per-scene bench, printed on the page
//   ?from=ROW        starts the music at that row (for tests of the show's end)
//   ?scale=S         draws the show, the still or the bench at S·640 x S·480 (S from 1 to 4.5
//                    in steps of 0.05); the canvas still fits the window, so a larger S gives
//                    a sharper picture, not a larger one. Without it, S is 1.
//   ?scale=auto      the largest S whose picture fits the area it is shown on, in device
//                    pixels (CSS pixels times devicePixelRatio): the screen when the show
//                    starts in full screen, otherwise the window's inner size, measured when
//                    the show starts (at load for a still or the bench). The program chooses
//                    (webScale), so the page and the demo share one rule; an area smaller than
//                    640 x 480 gets S = 1, shrunk by the page as before. The framebuffer is
//                    made at start: switching to full screen later keeps it.
//
// State for tests: document.body.dataset.state is loading, ready, playing, still, bench or
// failed; window.demo offers the heard row, the camera, the program's printed lines and how
// many program instances the page made.
//
// A still says when it can be taken: once its frame has been painted, the root element gets
// data-frame="drawn" and the title becomes "demo110: row R drawn" (data-frame="failed" when
// the frame cannot be drawn). Loading and compiling take seconds, more on a busy machine: a
// screenshot tool waits for the mark rather than for a fixed time.
'use strict';

(function () {
    var ROWS_PER_SECOND = 44 / 3;
    var MUSIC = 'data/demo110.mp3';

    var params = new URLSearchParams(location.search);
    var fromDisk = location.protocol === 'file:';
    var stillRow = params.has('row') ? Number(params.get('row')) : null;
    var benchMode = params.has('bench');
    var autoplay = params.has('autoplay');
    var fromRow = params.has('from') ? Number(params.get('from')) : 0;
    // 0 asks the program for the largest scale that fits; the program checks any other value.
    var scaleText = params.has('scale') ? params.get('scale') : '1';
    var scale = scaleText === 'auto' ? 0 : Number(scaleText);

    var body = document.body;
    var stage = document.getElementById('stage');
    var canvas = document.getElementById('screen');
    var bar = document.getElementById('bar');
    var progress = document.getElementById('progress');
    var statusLine = document.getElementById('status');
    var startButton = document.getElementById('start');
    var options = document.getElementById('options');
    var fullscreenBox = document.getElementById('fullscreen');
    var crispBox = document.getElementById('crisp');
    var messageLine = document.getElementById('message');
    var noteLine = document.getElementById('note');
    var outputBlock = document.getElementById('output');

    var output = [];      // lines the program printed
    var files = null;     // [{name, bytes}] of data files
    var wasmModule = null;
    var audio = {context: null, music: {path: MUSIC, buffer: null, failed: false}, startSeconds: 0};
    var nextInstance = null;  // the program for the next show: the same one plays it again
    var instance = null;
    var running = false;

    var instancesMade = 0;
    window.demo = {
        output: output,
        instances: function () { return instancesMade; },
        heardRow: function () { return instance ? instance._webHeardRow() : -1; },
        camera: function (i) { return instance ? instance._webCamera(i) : 0; }
    };

    function setState(state) { body.dataset.state = state; }

    // The still's mark on the root element (and the title), for screenshot tools.
    function markFrame(how) {
        document.documentElement.dataset.frame = how;
        if (how === 'drawn') document.title = 'demo110: row ' + stillRow + ' drawn';
    }

    function fail(text) {
        messageLine.textContent = text;
        messageLine.hidden = false;
        startButton.hidden = true;
        options.hidden = true;
        progress.hidden = true;
        statusLine.hidden = true;
        body.classList.remove('playing');
        body.classList.add('failed');
        setState('failed');
        if (stillRow !== null) markFrame('failed');
    }

    function note(text) {
        noteLine.textContent = text;
        noteLine.hidden = false;
    }

    // What the program said last, for messages about its failures.
    function lastWords(error) {
        var said = output.slice(-2).join(' ').trim();
        if (said) return said;
        return error && error.message ? error.message : String(error);
    }

    function LoadError(name, reason) {
        this.message = 'Could not load ' + name + ' (' + reason + '). ' +
            'Check that the folder holds every file of the site, then reload the page.';
    }

    // One file as bytes, counting them as they arrive.
    function fetchBytes(name, onBytes) {
        return fetch(name).then(function (response) {
            if (!response.ok) {
                throw new LoadError(name, response.status + ' ' + (response.statusText || 'error'));
            }
            if (!response.body || !response.body.getReader) {
                return response.arrayBuffer().then(function (buffer) {
                    onBytes(buffer.byteLength);
                    return new Uint8Array(buffer);
                });
            }
            var reader = response.body.getReader();
            var chunks = [];
            var length = 0;
            function pump() {
                return reader.read().then(function (step) {
                    if (step.done) {
                        var bytes = new Uint8Array(length);
                        var at = 0;
                        chunks.forEach(function (chunk) { bytes.set(chunk, at); at += chunk.length; });
                        return bytes;
                    }
                    chunks.push(step.value);
                    length += step.value.length;
                    onBytes(step.value.length);
                    return pump();
                });
            }
            return pump();
        }, function () {
            throw new LoadError(name, 'no answer from the server');
        });
    }

    // One file as bytes from its script under embedded/, which hands the contents to
    // demoEmbedded as it runs.
    var embedded = {};
    window.demoEmbedded = function (name, kind, text) {
        embedded[name] = {kind: kind, text: text};
    };
    function embeddedBytes(name, onBytes) {
        var src = 'embedded/' + name + '.js';
        return loadScript(src).then(function () {
            var item = embedded[name];
            delete embedded[name];
            // A script cut short does not run, but still counts as loaded.
            if (!item) throw new LoadError(src, 'it does not hold ' + name);
            var text = item.kind === 'base64' ? atob(item.text) : item.text;
            var bytes = new Uint8Array(text.length);
            for (var i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);
            onBytes(bytes.length);
            return bytes;
        });
    }

    function loadScript(src) {
        return new Promise(function (resolve, reject) {
            var script = document.createElement('script');
            script.src = src;
            script.onload = resolve;
            script.onerror = function () { reject(new LoadError(src, 'not found')); };
            document.head.appendChild(script);
        });
    }

    // The list of files (files.js: [size, name] pairs), then all of them, with the bar.
    function loadEverything() {
        return loadScript('files.js').then(function () {
            var list = (window.demoFiles || []).map(function (entry) {
                return {name: entry[1], size: entry[0]};
            });
            var total = list.reduce(function (sum, file) { return sum + file.size; }, 0) || 1;
            var received = 0;
            function count(n) {
                received += n;
                var percent = Math.min(100, Math.floor(100 * received / total));
                bar.style.width = percent + '%';
                progress.setAttribute('aria-valuenow', percent);
                statusLine.textContent = 'Loading… ' + (received / 1048576).toFixed(1) + ' of ' +
                    (total / 1048576).toFixed(1) + ' MB';
            }
            var script = loadScript('demo.js');
            var load = fromDisk ? embeddedBytes : fetchBytes;
            var loads = list.map(function (file) {
                return load(file.name, count).then(function (bytes) {
                    return {name: file.name, bytes: bytes};
                });
            });
            return Promise.all([script].concat(loads));
        }).then(function (loaded) {
            files = loaded.slice(1).filter(function (file) { return file.name.indexOf('data/') === 0; });
            var wasm = loaded.slice(1).filter(function (file) { return file.name === 'demo.wasm'; })[0];
            if (!wasm) throw new LoadError('demo.wasm', 'not in files.js');
            return WebAssembly.compile(wasm.bytes).catch(function (error) {
                throw {message: 'This browser could not compile the show\'s WebAssembly (' + error.message +
                    '). A current Firefox, Chrome, Edge or Safari can.'};
            });
        }).then(function (compiled) {
            wasmModule = compiled;
        });
    }

    // Decodes the music while the start screen waits. Without Web Audio the show runs silently.
    function prepareAudio() {
        var Context = window.AudioContext || window.webkitAudioContext;
        if (!Context) {
            note('This browser has no Web Audio: the show will run without sound.');
            return Promise.resolve();
        }
        try {
            audio.context = new Context();
        } catch (error) {
            note('The browser would not open its sound output: the show will run without sound.');
            return Promise.resolve();
        }
        var music = files.filter(function (file) { return file.name === MUSIC; })[0];
        if (!music) return Promise.resolve();
        // decodeAudioData takes the buffer over: it gets a copy.
        var copy = music.bytes.slice().buffer;
        return new Promise(function (resolve, reject) {
            var result = audio.context.decodeAudioData(copy, resolve, reject);
            if (result && result.then) result.then(resolve, reject);
        }).then(function (buffer) {
            audio.music.buffer = buffer;
        }, function () {
            audio.music.failed = true;
            note('The browser could not decode the music (' + MUSIC + '): the show will run without sound.');
        });
    }

    // A fresh program with the data files in its file system.
    function makeInstance() {
        ++instancesMade;
        return createDemoModule({
            canvas: canvas,
            fullscreenTarget: stage,
            webAudio: audio,
            print: function (line) { output.push(line); },
            printErr: function (line) { output.push(line); },
            onAbort: function (what) { output.push(String(what)); },
            instantiateWasm: function (imports, receive) {
                WebAssembly.instantiate(wasmModule, imports).then(function (made) { receive(made); });
                return {};
            }
        }).then(function (made) {
            made.FS.mkdir('/data');
            files.forEach(function (file) { made.FS.writeFile('/' + file.name, file.bytes); });
            return made;
        });
    }

    // Any exception out of the program (an abort, or an exit on a bad file) ends it.
    function guarded(what, call) {
        try {
            return call();
        } catch (error) {
            running = false;
            fail(what + ': ' + lastWords(error));
            return null;
        }
    }

    // The area the picture is shown on, in device pixels: [width, height].
    function deviceArea(fullscreen) {
        var ratio = window.devicePixelRatio || 1;
        var whole = window.screen;
        var width = fullscreen && whole.width ? whole.width : window.innerWidth;
        var height = fullscreen && whole.height ? whole.height : window.innerHeight;
        return [Math.floor(width * ratio), Math.floor(height * ratio)];
    }

    // The program's check of the address's scale: false, with the page failed, when it is
    // not one of the offered scales.
    function scaleOffered(made) {
        var area = deviceArea(false);
        var chosen = guarded('The scale could not be chosen', function () {
            return made._webScale(scale, area[0], area[1]);
        });
        if (chosen === null) return false;
        if (!chosen) {
            fail('The page cannot draw at scale=' + scaleText + ': ' + lastWords());
            return false;
        }
        return true;
    }

    function showStartScreen(again) {
        body.classList.remove('playing');
        progress.hidden = true;
        statusLine.hidden = true;
        startButton.textContent = again ? 'Watch again' : 'Start the show';
        startButton.hidden = false;
        options.hidden = false;
        setState('ready');
        startButton.focus();
    }

    function frame() {
        if (!running) return;
        var more = guarded('The show stopped', function () { return instance._webStep(); });
        if (!running) return;
        if (more) {
            requestAnimationFrame(frame);
            return;
        }
        running = false;
        guarded('The show did not end cleanly', function () { instance._webFinish(); });
        var ended = instance;
        instance = null;
        if (document.fullscreenElement && document.exitFullscreen) {
            document.exitFullscreen().catch(function () {});
        }
        if (body.dataset.state === 'failed') return;
        // The program gives back everything a show made: the next one starts in the same
        // instance, from the data it already holds.
        nextInstance = Promise.resolve(ended);
        showStartScreen(true);
    }

    function startShow() {
        if (running || !nextInstance) return;
        // Full screen only from inside the click or key that asked for it.
        if (fullscreenBox.checked && stage.requestFullscreen) {
            stage.requestFullscreen().catch(function () {});
        }
        startButton.hidden = true;
        var context = audio.context;
        var resumed = context && context.state !== 'running'
            ? Promise.race([context.resume().catch(function () {}),
                new Promise(function (resolve) { setTimeout(resolve, 1500); })])
            : Promise.resolve();
        var pending = nextInstance;
        nextInstance = null;
        Promise.all([resumed, pending]).then(function (results) {
            if (context && context.state !== 'running') {
                note('The browser did not start the sound: the show runs without it.');
            }
            instance = results[1];
            audio.startSeconds = fromRow / ROWS_PER_SECOND;
            var area = deviceArea(fullscreenBox.checked);
            var started = guarded('The show could not start', function () {
                return instance._webStart(scale, area[0], area[1]);
            });
            if (started === null) return;
            if (!started) {
                fail('The show could not start: ' + lastWords());
                return;
            }
            running = true;
            scaling();
            body.classList.add('playing');
            setState('playing');
            requestAnimationFrame(frame);
        }, function (error) {
            fail('The show could not start: ' + lastWords(error));
        });
    }

    function runStill(made) {
        instance = made;
        var keys = params.get('keys') || '';
        var area = deviceArea(false);
        var done = guarded('The frame could not be drawn', function () {
            return made.ccall('webStill', 'number',
                ['number', 'string', 'number', 'number', 'number'],
                [stillRow, keys, scale, area[0], area[1]]);
        });
        if (done === null) return;
        if (!done) {
            fail('The frame could not be drawn: ' + lastWords());
            return;
        }
        setState('still');
        // The canvas holds the frame now; it is on the screen once a frame has been painted
        // after this one's animation callbacks, which the second callback follows.
        requestAnimationFrame(function () {
            requestAnimationFrame(function () { markFrame('drawn'); });
        });
    }

    function runBench(made) {
        instance = made;
        statusLine.textContent = 'Measuring every frame of the show…';
        // Let the message show before the page is busy for a while.
        setTimeout(function () {
            var area = deviceArea(false);
            var done = guarded('The bench failed', function () {
                return made._webBench(60, scale, area[0], area[1]);
            });
            if (!done) return;
            outputBlock.textContent = output.join('\n');
            outputBlock.hidden = false;
            statusLine.textContent = 'Done.';
            setState('bench');
        }, 50);
    }

    function savedChoice(box, key) {
        try {
            var saved = localStorage.getItem(key);
            if (saved !== null) box.checked = saved === '1';
        } catch (e) {}
        box.addEventListener('change', function () {
            try { localStorage.setItem(key, box.checked ? '1' : '0'); } catch (e) {}
        });
    }

    // Sharp pixels only where the picture is enlarged: a framebuffer larger than the area it is
    // shown on (a scale above what fits) is shrunk smoothly, which keeps its detail.
    function scaling() {
        var box = canvas.getBoundingClientRect();
        var shown = Math.min(box.width, box.height * canvas.width / canvas.height) *
            (window.devicePixelRatio || 1);
        var shrunk = shown > 0 && canvas.width > shown + 0.5;
        canvas.classList.toggle('smooth', !crispBox.checked || shrunk);
    }

    function begin() {
        if (stillRow !== null) {
            body.classList.add('still');
            if (!isFinite(stillRow)) {
                fail('row= needs a number.');
                return;
            }
        }
        if (scaleText !== 'auto' && !(scale > 0)) {
            fail('scale= takes auto or a number from 1 to 4.5 in steps of 0.05, not "' +
                scaleText + '".');
            return;
        }
        if (typeof WebAssembly !== 'object' || !WebAssembly.compile) {
            fail('This browser cannot run WebAssembly, which the show is made of. ' +
                'A current Firefox, Chrome, Edge or Safari can.');
            return;
        }
        savedChoice(crispBox, 'demo110.crisp');
        savedChoice(fullscreenBox, 'demo110.fullscreen');
        scaling();
        crispBox.addEventListener('change', scaling);
        window.addEventListener('resize', scaling);
        document.addEventListener('fullscreenchange', scaling);
        startButton.addEventListener('click', startShow);

        loadEverything().then(function () {
            var run = stillRow !== null ? runStill : benchMode ? runBench : null;
            if (run) {
                return makeInstance().then(function (made) {
                    if (scaleOffered(made)) run(made);
                });
            }
            return prepareAudio().then(function () {
                nextInstance = makeInstance();
                return nextInstance;
            }).then(function (made) {
                if (!scaleOffered(made)) return;
                showStartScreen(false);
                if (autoplay) startShow();
            });
        }).catch(function (error) {
            fail(error && error.message ? error.message : String(error));
        });
    }

    begin();
})();
