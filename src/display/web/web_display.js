// The JavaScript half of the web display: the canvas, full screen, and the queue of keyboard,
// mouse and focus events that WebDisplay drains from inside update. The page hands over its
// canvas as Module.canvas before the show opens the display.
mergeInto(LibraryManager.library, {
    $webDisplay: {
        state: null,

        // KeyCodes of the display contract: letters by the layout's meaning, by position when
        // the layout gives none (Alt or non-Latin layouts), digits likewise.
        keyCode: function(event) {
            var key = event.key || '';
            if (key.length === 1) {
                var c = key.toUpperCase().charCodeAt(0);
                if ((c >= 65 && c <= 90) || (c >= 48 && c <= 57)) return c;
            }
            var code = event.code || '';
            if (/^Key[A-Z]$/.test(code)) return code.charCodeAt(3);
            if (/^(Digit|Numpad)[0-9]$/.test(code)) return code.charCodeAt(code.length - 1);
            var f = /^F([0-9]+)$/.exec(code);
            if (f && +f[1] >= 1 && +f[1] <= 12) return 111 + +f[1];
            var named = {
                Escape: 27, Enter: 10, NumpadEnter: 10, Space: 32, Tab: 9, Backspace: 8,
                ArrowLeft: 37, ArrowUp: 38, ArrowRight: 39, ArrowDown: 40, PageUp: 33,
                PageDown: 34, End: 35, Home: 36, Insert: 155, Delete: 127,
                ShiftLeft: 16, ShiftRight: 16, ControlLeft: 17, ControlRight: 17,
                AltLeft: 18, AltRight: 18
            };
            return named.hasOwnProperty(code) ? named[code] : -1;
        },

        // Display pixels of a pointer event: the canvas keeps its shape inside its box
        // (object-fit: contain), so the picture is the largest 4:3 rectangle centred in it.
        pointer: function(event) {
            var s = webDisplay.state;
            var box = s.canvas.getBoundingClientRect();
            var scale = Math.min(box.width / s.width, box.height / s.height) || 1;
            var left = box.left + (box.width - s.width * scale) / 2;
            var top = box.top + (box.height - s.height * scale) / 2;
            return [(event.clientX - left) / scale, (event.clientY - top) / scale];
        },

        push: function(kind, key, alt, repeat, button, x, y) {
            webDisplay.state.events.push([kind, key, alt ? 1 : 0, repeat ? 1 : 0, button, x, y]);
        },

        fullscreen: function() {
            return !!(document.fullscreenElement || document.webkitFullscreenElement);
        },

        setFullscreen: function(on) {
            var s = webDisplay.state;
            var target = s && s.fullscreenTarget;
            try {
                if (on && !webDisplay.fullscreen() && target) {
                    var request = target.requestFullscreen || target.webkitRequestFullscreen;
                    if (!request) return false;
                    var result = request.call(target);
                    // Refused without a recent click or key: the show stays in the window.
                    if (result && result.catch) result.catch(function() {});
                } else if (!on && webDisplay.fullscreen()) {
                    var exit = document.exitFullscreen || document.webkitExitFullscreen;
                    var done = exit.call(document);
                    if (done && done.catch) done.catch(function() {});
                }
            } catch (e) {
                return false;
            }
            return true;
        }
    },

    webDisplayOpen__deps: ['$webDisplay'],
    webDisplayOpen: function(width, height, fullscreen, still) {
        var canvas = Module.canvas;
        var s = {
            canvas: canvas, width: width, height: height, events: [], still: !!still,
            context: canvas.getContext('2d', {alpha: false}),
            fullscreenTarget: Module.fullscreenTarget || canvas, listeners: []
        };
        canvas.width = width;
        canvas.height = height;
        webDisplay.state = s;
        // The show asks for full screen, but browsers grant it only on a click or key: the
        // page enters it on the start click when the viewer chose it.
        if (still) return;
        function listen(target, type, handler) {
            target.addEventListener(type, handler);
            s.listeners.push([target, type, handler]);
        }
        listen(window, 'keydown', function(e) {
            var key = webDisplay.keyCode(e);
            if (key < 0 || e.ctrlKey || e.metaKey) return;
            e.preventDefault();
            // In full screen the browser takes Escape to leave it; the show goes on.
            if (key === 27 && webDisplay.fullscreen()) {
                webDisplay.setFullscreen(false);
                return;
            }
            webDisplay.push(1, key, e.altKey, e.repeat, 0, 0, 0);
        });
        listen(window, 'keyup', function(e) {
            var key = webDisplay.keyCode(e);
            if (key < 0) return;
            webDisplay.push(2, key, e.altKey, false, 0, 0, 0);
        });
        function mouse(kind) {
            return function(e) {
                var p = webDisplay.pointer(e);
                webDisplay.push(kind, 0, false, false, e.button, p[0], p[1]);
            };
        }
        listen(canvas, 'mousemove', mouse(3));
        listen(canvas, 'mousedown', mouse(4));
        listen(canvas, 'mouseup', mouse(5));
        listen(window, 'focus', function() { webDisplay.push(6, 0, false, false, 0, 0, 0); });
        listen(window, 'blur', function() { webDisplay.push(7, 0, false, false, 0, 0, 0); });
    },

    webDisplayClose__deps: ['$webDisplay'],
    webDisplayClose: function() {
        var s = webDisplay.state;
        if (!s) return;
        s.listeners.forEach(function(l) { l[0].removeEventListener(l[1], l[2]); });
        webDisplay.state = null;
    },

    webDisplayPresent__deps: ['$webDisplay'],
    webDisplayPresent: function(rgba, width, height) {
        var s = webDisplay.state;
        if (!s) return;
        // A fresh view each frame: growing memory replaces the heap's buffer.
        var bytes = new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4);
        s.context.putImageData(new ImageData(bytes, width, height), 0, 0);
        if (Module.onPresent) Module.onPresent();
    },

    webDisplaySetFullscreen__deps: ['$webDisplay'],
    webDisplaySetFullscreen: function(on) {
        return webDisplay.setFullscreen(!!on) ? 1 : 0;
    },

    webDisplayIsFullscreen__deps: ['$webDisplay'],
    webDisplayIsFullscreen: function() {
        return webDisplay.fullscreen() ? 1 : 0;
    },

    webDisplayNextEvent__deps: ['$webDisplay'],
    webDisplayNextEvent: function(event) {
        var s = webDisplay.state;
        if (!s || s.events.length === 0) return 0;
        var e = s.events.shift();
        var base = event >> 2;
        for (var i = 0; i < 5; ++i) HEAP32[base + i] = e[i];
        HEAPF32[base + 5] = e[5];
        HEAPF32[base + 6] = e[6];
        return e[0];
    }
});
