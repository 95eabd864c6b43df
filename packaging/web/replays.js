// Replays on the game's page. A .qoreplay file dropped on the page plays,
// and "Copy a link to the last game" puts the last game played into the
// link's fragment (#replay=..., the file in base64url), which plays the
// game when opened. The program is started with --play on the file; when
// the replay ends, the page starts the game afresh, without the fragment.
(function () {
  'use strict';
  var SHARED = '/shared.qoreplay';
  // The last game, in the save folder the engine mounted (Module.cglSaveFolder).
  var LAST = 'replays/last.qoreplay';

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

  var shared = /^#replay=([A-Za-z0-9_-]+)$/.exec(location.hash);
  if (shared) {
    var bytes = null;
    try {
      bytes = fromBase64Url(shared[1]);
    } catch (e) {
      console.error('The link carries no readable replay.');
    }
    if (bytes) {
      Module.arguments = ['--play', SHARED];
      Module.preRun = [function () { Module.FS.writeFile(SHARED, bytes); }];
    }
    history.replaceState(null, '', location.pathname + location.search);
  }

  window.addEventListener('dragover', function (e) { e.preventDefault(); });
  window.addEventListener('drop', function (e) {
    e.preventDefault();
    var file = e.dataTransfer && e.dataTransfer.files[0];
    if (!file) return;
    var reader = new FileReader();
    reader.onload = function () {
      location.hash = 'replay=' + toBase64Url(new Uint8Array(reader.result));
      location.reload();
    };
    reader.readAsArrayBuffer(file);
  });

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
