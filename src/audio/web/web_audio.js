// The JavaScript half of the web music layer. The page hands over Module.webAudio:
//   context       a running AudioContext, or null when the browser has none or refused it
//   music         {path, buffer: the decoded AudioBuffer, failed: true when undecodable}
//   startSeconds  where playback starts (0 but in tests)
mergeInto(LibraryManager.library, {
    $webAudio: {source: null, startContextTime: 0, startSeconds: 0},

    webAudioAvailable__deps: ['$webAudio'],
    webAudioAvailable: function() {
        var page = Module.webAudio;
        return page && page.context && page.context.state === 'running' ? 1 : 0;
    },

    webAudioStreamFrames__deps: ['$webAudio'],
    webAudioStreamFrames: function(path, rate) {
        var music = Module.webAudio && Module.webAudio.music;
        if (!music || music.path !== UTF8ToString(path)) return -2;
        if (music.failed) return -1;
        if (!music.buffer) return -2;
        return Math.floor(music.buffer.duration * rate);
    },

    webAudioStartSeconds: function() {
        return (Module.webAudio && Module.webAudio.startSeconds) || 0;
    },

    webAudioPlay__deps: ['$webAudio'],
    webAudioPlay: function() {
        var page = Module.webAudio;
        var context = page.context;
        var source = context.createBufferSource();
        source.buffer = page.music.buffer;
        source.connect(context.destination);
        webAudio.startSeconds = page.startSeconds || 0;
        // A little ahead, so that the start is not already in the past when it is scheduled.
        webAudio.startContextTime = context.currentTime + 0.05;
        source.start(webAudio.startContextTime, webAudio.startSeconds);
        webAudio.source = source;
    },

    // The context time whose sound leaves the device now: the output timestamp pairs a context
    // time with the moment it was played; the real time since then is added.
    webAudioHeardSeconds__deps: ['$webAudio'],
    webAudioHeardSeconds: function() {
        var context = Module.webAudio.context;
        if (!webAudio.source || context.state === 'closed') return -1;
        var heard, stamp;
        if (context.getOutputTimestamp) {
            stamp = context.getOutputTimestamp();
            heard = stamp.contextTime + Math.max(0, performance.now() - stamp.performanceTime) / 1000;
        }
        // Without a timestamp (older browsers, or none reported yet): what was rendered, less
        // the output's latency.
        if (!context.getOutputTimestamp || !stamp.performanceTime) {
            heard = context.currentTime - (context.outputLatency || context.baseLatency || 0);
        }
        return webAudio.startSeconds + Math.max(0, heard - webAudio.startContextTime);
    },

    webAudioStop__deps: ['$webAudio'],
    webAudioStop: function() {
        if (webAudio.source) {
            try { webAudio.source.stop(); } catch (e) {}
            webAudio.source.disconnect();
            webAudio.source = null;
        }
    }
});
