// The JavaScript half of the engine's browser platform (cgl/*_web.cpp call
// these). Functions that wait hand control back to the browser through
// Asyncify and are listed in ASYNCIFY_IMPORTS (cmake/cglWeb.cmake).
//
// The page (cmake/cgl-web-page.html.in) may answer two calls: Module.cglNotice
// (text), a line the player should see, and Module.cglStopped(code), the
// program ended without a way to go on. Without them both go to the console.
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

  // One step of the program (a frame wait): Module.cglSteps counts them, for
  // the page and its tests.
  cgl_web_step: function() {
    Module.cglSteps = (Module.cglSteps | 0) + 1;
  },

  // The program reads typed text in this step: the page offers a phone's
  // keyboard while Module.cglReadingText keeps up with Module.cglSteps.
  cgl_web_readingtext: function() {
    Module.cglReadingText = Module.cglSteps | 0;
  },

  // Waits for the first animation frame whose time is at least `due`
  // (performance.now() milliseconds) and returns that time.
  cgl_web_animationframe: function(due) {
    return Asyncify.handleSleep(function(wakeUp) {
      function frame() {
        var now = performance.now();
        if (now >= due) wakeUp(now);
        else requestAnimationFrame(frame);
      }
      requestAnimationFrame(frame);
    });
  },

  // Mounts the folder `dir` from IndexedDB and returns once its files are
  // read: 0, or 1 when what is done in it will not last beyond this visit
  // (no storage, a storage that cannot be read or does not answer, another
  // tab keeping the saves), which the page is told. The page finds the
  // program's save folder in Module.cglSaveFolder (ending in '/'), and
  // Module.cglSaving() is true while a change is on its way to the storage.
  //
  // Every write-back makes the stored folder match this tab's copy of it.
  // Two tabs writing back would so undo each other: a tab left open
  // overnight would put back its old table and delete the replays another
  // tab stored. So one tab at a time keeps the saves: the first, which
  // holds a Web Lock named after the folder for as long as it is open.
  // Another tab reads the saves but never writes them back, and says so. A
  // tab whose read failed or took too long never writes back either: its
  // copy is not what was stored. A page may be closed at any time, and
  // nothing runs reliably when it is, so the folder is written back after
  // every change, at the end of the step that made it.
  cgl_web_mountsaves__deps: ['$FS', '$IDBFS', '$MEMFS'],
  cgl_web_mountsaves: function(dirname) {
    var dir = UTF8ToString(dirname);
    // How long the storage may take to answer the first read.
    var kReadMs = 10000;
    // How long a tab waits for the lock: one that was just reloaded waits
    // for its own previous page to let go of it.
    var kLockMs = 3000;
    var lost = ': nothing done here is kept after this visit.';
    Module.cglSaveFolder = dir + '/';
    Module.cglSaving = function() {
      return false;
    };
    return Asyncify.handleSleep(function(wakeUp) {
      var finished = false;
      function finish(kept, why) {
        if (finished) return;
        finished = true;
        if (why) {
          out(why);
          if (Module.cglNotice) Module.cglNotice(why);
        }
        wakeUp(kept ? 0 : 1);
      }
      var root;
      try {
        FS.mkdirTree(dir);
        root = FS.mount(IDBFS, {}, dir);
      } catch (e) {
        finish(false, 'The browser storage cannot be used (' + e + ')' + lost);
        return;
      }
      takeTurn('cgl-saves:' + dir, function(mine) {
        var timer = setTimeout(function() {
          finish(false, 'The browser storage does not answer' + lost);
        }, kReadMs);
        FS.syncfs(true, function(err) {
          clearTimeout(timer);
          if (finished) return;
          if (err) return finish(false, 'The browser storage cannot be read (' + err + ')' + lost);
          if (!mine) {
            return finish(false, 'The game is open in another tab, which keeps the saves' + lost +
                          ' To play here, close the other tab and reload this one.');
          }
          keep(root.mount);
          // Best-effort storage may be cleared when the device runs short.
          if (navigator.storage && navigator.storage.persist) {
            navigator.storage.persist().then(function(granted) {
              if (!granted) out('- The browser may clear the saves when it runs short of space');
            }, function() {});
          }
          finish(true);
        });
      });
    });

    // Calls then(true) once this tab keeps the saves, then(false) when
    // another does.
    function takeTurn(name, then) {
      var answered = false;
      function answer(mine) {
        if (answered) return;
        answered = true;
        then(mine);
      }
      if (navigator.locks && navigator.locks.request) {
        navigator.locks.request(name, function() {
          if (answered) {
            // The tab that kept the saves has closed; this tab's copy may
            // be older than what it stored, so it still keeps its hands off.
            if (Module.cglNotice) Module.cglNotice('The other tab has closed: reload this one to keep what you do here.');
            return;
          }
          answer(true);
          return new Promise(function() {});  // held until the page goes
        }).catch(function() {
          answer(true);
        });
        setTimeout(function() {
          answer(false);
        }, kLockMs);
        return;
      }
      // Without Web Locks (a page not served over https): a tab that keeps
      // the saves answers the others on a channel. Two tabs asking at once
      // settle it by a draw: the smaller number keeps the saves, and a tab
      // that hears a larger one answers with its own, for the other may have
      // asked before this tab listened.
      if (typeof BroadcastChannel == 'function') {
        var channel = new BroadcastChannel(name), mine = true, draw = Math.random();
        channel.onmessage = function(e) {
          if (e.data == 'mine') mine = false;
          if (typeof e.data == 'number') {
            if (answered && mine) channel.postMessage('mine');
            else if (!answered && e.data < draw) mine = false;
            else if (!answered) channel.postMessage(draw);
          }
        };
        channel.postMessage(draw);
        setTimeout(function() {
          answer(mine);
        }, 300);
        return;
      }
      answer(true);
    }

    // Writes the folder back after every change made in it. Every change
    // goes through MEMFS's operations on the folder's nodes, whatever path
    // the program named them by ('//', '..', a relative name): a file
    // written, truncated or touched, a file or folder made, renamed or
    // removed. One write-back at a time; changes made meanwhile get one more.
    function keep(mount) {
      var scheduled = false, running = false, again = false;
      Module.cglSaving = function() {
        return scheduled || running || again;
      };
      function writeBack() {
        scheduled = false;
        if (running) {
          again = true;
          return;
        }
        running = true;
        FS.syncfs(false, function(err) {
          if (err) out('saving to the browser storage failed: ' + err);
          running = false;
          if (again) {
            again = false;
            writeBack();
          }
        });
      }
      function changed(node) {
        if (!node || node.mount !== mount || scheduled) return;
        scheduled = true;
        setTimeout(writeBack, 0);
      }
      function after(ops, op, nodeOf) {
        var original = ops[op];
        ops[op] = function() {
          var result = original.apply(this, arguments);
          changed(nodeOf.apply(null, arguments));
          return result;
        };
      }
      function first(node) {
        return node;
      }
      var t = MEMFS.ops_table;
      ['mknod', 'unlink', 'rmdir', 'symlink', 'setattr'].forEach(function(op) {
        after(t.dir.node, op, first);
      });
      after(t.dir.node, 'rename', function(node, newDir) {
        return node.mount === mount ? node : newDir;
      });
      after(t.file.node, 'setattr', first);
      after(t.link.node, 'setattr', first);
      ['write', 'msync'].forEach(function(op) {
        after(t.file.stream, op, function(stream) {
          return stream.node;
        });
      });
    }
  },

  // Starts the program afresh: the page is loaded again once every save
  // has reached the storage. A program that ended before its first step
  // could not start: the page says so instead. Never returns.
  cgl_web_restart: function() {
    return Asyncify.handleSleep(function() {
      if (!Module.cglSteps) {
        err('The program ended before its first frame');
        if (Module.cglStopped) Module.cglStopped(1);
        return;
      }
      out('- Starting again');
      (function reload() {
        if (Module.cglSaving && Module.cglSaving()) setTimeout(reload, 20);
        else location.reload();
      })();
    });
  },

  // Makes the page's audio context at the mixer's rate where the browser
  // allows it, so that the browser resamples for the output device and SDL
  // converts nothing; SDL takes this context when it opens the device.
  // Returns 0, with a line, where no context can be made at all.
  //
  // Browsers start sound only inside a gesture (a key, a click, a finger
  // lifted: touchstart does not count), and suspend it again later (a call,
  // the tab put away, "interrupted" on iOS): it is resumed at every gesture
  // while it is not running. While the tab is hidden it is suspended, so the
  // music waits for the player.
  cgl_web_audiocontext: function(rate) {
    var SDL2 = Module['SDL2'] = Module['SDL2'] || {};
    if (SDL2.audioContext) return 1;
    var Context = typeof AudioContext != 'undefined' ? AudioContext :
                  typeof webkitAudioContext != 'undefined' ? webkitAudioContext : null;
    var context = null, why = 'the browser has no Web Audio';
    for (var i = 0; Context && !context && i < 2; i++) {
      try {
        context = i == 0 ? new Context({sampleRate: rate}) : new Context();
      } catch (e) {
        why = String(e);
      }
    }
    if (!context) {
      out('- No sound: ' + why);
      return 0;
    }
    SDL2.audioContext = context;
    function resume() {
      if (context.state != 'running' && !document.hidden) context.resume().catch(function() {});
    }
    ['pointerup', 'touchend', 'click', 'mousedown', 'keydown'].forEach(function(type) {
      window.addEventListener(type, resume, true);
    });
    document.addEventListener('visibilitychange', function() {
      if (document.hidden) context.suspend().catch(function() {});
      else resume();
    });
    return 1;
  },
});
