// The JavaScript half of the engine's browser platform (cgl/*_web.cpp call
// these). Functions that wait hand control back to the browser through
// Asyncify and are listed in ASYNCIFY_IMPORTS (cmake/cglWeb.cmake).
mergeInto(LibraryManager.library, {
  // SDL's audio, built from its own source rather than as emscripten's
  // port, calls two runtime functions that are kept only when something
  // depends on them.
  cgl_web_keep__deps: ['$autoResumeAudioContext', '$dynCall'],
  cgl_web_keep: function() {},

  // Milliseconds of the wall clock.
  cgl_web_datenow: function() {
    return Date.now();
  },

  // The program's name, which the page sets as Module.thisProgram.
  cgl_web_programname: function(out, size) {
    var name = String(thisProgram || '').split('/').pop();
    if (!name || name == 'this.program') name = 'program';
    stringToUTF8(name, out, size);
  },

  // Waits for the first animation frame whose time is at least `due`
  // (performance.now() milliseconds) and returns that time. Module.cglSteps
  // counts the waits, one a step, for the page and its tests.
  cgl_web_animationframe: function(due) {
    // Asyncify calls this again to hand the result over: count only the
    // call that starts the wait.
    return Asyncify.handleSleep(function(wakeUp) {
      Module.cglSteps = (Module.cglSteps | 0) + 1;
      function frame() {
        var now = performance.now();
        if (now >= due) wakeUp(now);
        else requestAnimationFrame(frame);
      }
      requestAnimationFrame(frame);
    });
  },

  // Mounts the folder `dir` from IndexedDB and returns once its files are
  // read: 0, or 1 with the reason printed when the storage cannot be used
  // (the folder then lasts for this visit). The page finds the program's
  // save folder in Module.cglSaveFolder (ending in '/'). From then on the folder is
  // written back to the storage after every change: a file written and
  // closed, renamed or removed. A page may be closed at any time, and
  // nothing runs reliably when it is.
  cgl_web_mountsaves__deps: ['$FS', '$IDBFS'],
  cgl_web_mountsaves: function(dirname) {
    var dir = UTF8ToString(dirname);
    Module.cglSaveFolder = dir + '/';
    return Asyncify.handleSleep(function(wakeUp) {
      FS.mkdirTree(dir);
      try {
        FS.mount(IDBFS, {}, dir);
      } catch (e) {
        out('the browser storage cannot be used (' + e + '): saves last for this visit only');
        wakeUp(1);
        return;
      }
      FS.syncfs(true, function(err) {
        if (err) out('the browser storage cannot be read (' + err + '): saves last for this visit only');
        watch();
        wakeUp(err ? 1 : 0);
      });
    });

    function watch() {
      // One write-back at a time; changes made meanwhile get one more.
      var running = false, again = false, dirty = false;
      Module.cglSaving = function() {
        return running || again;
      };
      function persist() {
        if (running) {
          again = true;
          return;
        }
        running = true;
        setTimeout(function() {
          FS.syncfs(false, function(err) {
            if (err) out('saving to the browser storage failed: ' + err);
            running = false;
            if (again) {
              again = false;
              persist();
            }
          });
        }, 0);
      }
      function inside(path) {
        return typeof path == 'string' && path.indexOf(dir + '/') == 0;
      }
      var write = FS.write, close = FS.close, rename = FS.rename, unlink = FS.unlink;
      FS.write = function(stream) {
        if (inside(stream.path)) dirty = true;
        return write.apply(FS, arguments);
      };
      FS.close = function(stream) {
        var result = close.apply(FS, arguments);
        if (dirty && inside(stream.path)) {
          dirty = false;
          persist();
        }
        return result;
      };
      FS.rename = function(from, to) {
        var result = rename.apply(FS, arguments);
        if (inside(from) || inside(to)) persist();
        return result;
      };
      FS.unlink = function(path) {
        var result = unlink.apply(FS, arguments);
        if (inside(path)) persist();
        return result;
      };
    }
  },

  // Starts the program afresh: the page is loaded again once every save
  // has reached the storage. Never returns.
  cgl_web_restart: function() {
    return Asyncify.handleSleep(function() {
      (function reload() {
        if (Module.cglSaving && Module.cglSaving()) setTimeout(reload, 20);
        else location.reload();
      })();
    });
  },

  // Makes the page's audio context at the mixer's rate where the browser
  // allows it, so that the browser resamples for the output device and SDL
  // converts nothing; SDL takes this context when it opens the device.
  cgl_web_audiocontext__deps: ['$autoResumeAudioContext'],
  cgl_web_audiocontext: function(rate) {
    var SDL2 = Module['SDL2'] = Module['SDL2'] || {};
    if (SDL2.audioContext || typeof AudioContext == 'undefined') return;
    try {
      SDL2.audioContext = new AudioContext({sampleRate: rate});
    } catch (e) {
      SDL2.audioContext = new AudioContext();
    }
    autoResumeAudioContext(SDL2.audioContext);
  },
});
