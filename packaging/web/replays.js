// Replays on the game's page. A .qoreplay file dropped on the page plays,
// and "Copy a link to the last game" puts the last game played into the
// link's fragment (#replay=..., the file in base64url), which plays the
// game when opened. The program is started with --play on the file; when
// the replay ends, the page starts the game afresh, without it.
//
// A dropped file is checked first (its size, and that it is a replay at
// all), and the game on the screen is left only when the player says so,
// after a name being typed is in and the saves are stored. It reaches the
// next start through the tab's history entry, which a reload keeps: a
// long game would not fit in an address.
(function () {
  'use strict';
  var SHARED = '/shared.qoreplay';
  // The last game, in the save folder the engine mounted (Module.cglSaveFolder).
  var LAST = 'replays/last.qoreplay';
  // The largest replay: four hours, a run for every frame, a hash every
  // 60 frames (docs/replay-format.md).
  var MOST_BYTES = 232 + 6 * 864000 + 4 * (864000 / 60 + 1);
  var MAGIC = 'QOREPLAY';

  function toBase64Url(bytes) {
    var text = '';
    for (var i = 0; i < bytes.length; i++) text += String.fromCharCode(bytes[i]);
    return btoa(text).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
  }
  function fromBase64Url(text) {
    var plain = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
    var bytes = new Uint8Array(plain.length);
    for (var i = 0; i < plain.length; i++) bytes[i] = plain.charCodeAt(i);
    return bytes;
  }
  function watch(bytes) {
    Module.arguments = ['--play', SHARED];
    Module.preRun = [function () { Module.FS.writeFile(SHARED, bytes); }];
  }

  var shared = /^#replay=([A-Za-z0-9_-]+)$/.exec(location.hash);
  var handed = history.state && history.state.cglReplay;
  if (shared) {
    try {
      watch(fromBase64Url(shared[1]));
    } catch (e) {
      console.error('The link carries no readable replay.');
    }
    history.replaceState(null, '', location.pathname + location.search);
  } else if (handed instanceof Uint8Array) {
    watch(handed);
    history.replaceState(null, '');
  }
  var watching = !!Module.arguments;

  window.addEventListener('dragover', function (e) { e.preventDefault(); });
  window.addEventListener('drop', function (e) {
    e.preventDefault();
    var file = e.dataTransfer && e.dataTransfer.files[0];
    if (!file) return;
    if (file.size > MOST_BYTES || file.size < MAGIC.length) {
      Module.cglNotice(file.name + ' is not a replay of this game (' + file.size + ' bytes).');
      return;
    }
    file.arrayBuffer().then(function (buffer) {
      var bytes = new Uint8Array(buffer);
      if (String.fromCharCode.apply(null, bytes.subarray(0, MAGIC.length)) != MAGIC) {
        Module.cglNotice(file.name + ' is not a replay of this game.');
        return;
      }
      if (watching || !(Module.cglSteps > 0)) return play(bytes);
      var line = Module.cglNotice('Watch ' + file.name + '? The game on the screen is left.');
      var yes = document.createElement('button');
      yes.type = 'button';
      yes.textContent = 'Watch';
      yes.addEventListener('click', function () {
        line.remove();
        play(bytes);
      });
      line.insertBefore(yes, line.lastChild);
    }, function () {
      Module.cglNotice(file.name + ' cannot be read.');
    });
  });

  // Plays the replay at the program's next start, once no name is being
  // typed; the program stops when what it holds back is saved. The page's
  // other scripts hand replays over here too (Module.cglWatchReplay).
  function play(bytes) {
    history.replaceState({ cglReplay: bytes }, '');
    (function whenTyped() {
      if (Module.cglSteps - Module.cglReadingText < 30) return setTimeout(whenTyped, 100);
      Module.cglStop();
    })();
  }
  Module.cglWatchReplay = play;

  var button = document.createElement('button');
  button.type = 'button';
  button.textContent = 'Copy a link to the last game';
  button.addEventListener('click', function () {
    var FS = Module.FS;
    var last = (Module.cglSaveFolder || '') + LAST;
    if (!FS || !Module.cglSaveFolder || !FS.analyzePath(last).exists) {
      button.textContent = 'No game played yet';
      return;
    }
    var link = location.origin + location.pathname + '#replay=' + toBase64Url(FS.readFile(last));
    var done = function () { button.textContent = 'Link copied'; };
    if (navigator.clipboard) {
      navigator.clipboard.writeText(link).then(done, function () { prompt('The link:', link); });
    } else {
      prompt('The link:', link);
    }
    document.getElementById('canvas').focus();
  });
  document.getElementById('bar').insertBefore(button, document.getElementById('fullscreen'));
})();
