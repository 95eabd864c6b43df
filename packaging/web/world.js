// The world tables on the game's page, in a build with a world server
// (make web WORLD=URL, Module.cglSettings.world): the server's tables beside
// the game, or behind a button on a narrow screen and on a phone; once the
// player has switched sending on, each finished game that could enter a
// table goes to the server, and the page says the place it got. An entry's
// "Watch" plays its replay here.
//
// All of it is the page's: the game knows nothing of a server. A finished
// game is noticed by its replay in the save folder, replays/last.qoreplay,
// changing: the game writes it once a game is over and its name typed. An
// entry is watched through replays.js (Module.cglWatchReplay), and a link
// to one, #watch=<id>, fetches it while the page loads: a replay never
// travels in the address.
(function () {
  'use strict';
  var settings = Module.cglSettings || {};
  if (!settings.world) return;
  // The server, as given or relative to the page ("/": the page's own).
  var server = new URL(settings.world, location.href);
  if (!/\/$/.test(server.pathname)) server.pathname += '/';
  function api(path) { return new URL('api/v1/' + path, server).href; }

  var TABLES = ['easy', 'medium', 'hard'];
  var SHOWN = 10;
  // A game is sent when it would be among its table's first hundred, the
  // most the server lists: below them it could only take a place the page
  // cannot see.
  var CHECKED = 100;
  var REFRESH_MS = 60000;  // the tables are read again while they are shown
  var BUSY_TRIES = 3;      // times a busy server is asked again, after Retry-After
  var SWITCH = 'qostarfold-world-send';  // localStorage: '1' on, '0' off
  var LAST = 'replays/last.qoreplay';
  var WATCHED = '/world.qoreplay';
  // The replay's header (docs/replay-format.md).
  var HEADER_BYTES = 232, DIFFICULTY_AT = 140, ENDING_AT = 142, SCORE_AT = 212;
  var canvas = document.getElementById('canvas');

  // ---------------------------------------------------------------------
  // The panel: beside the picture in a wide window with a keyboard; else
  // over the page, opened by a button (in the bar, or on a phone beside the
  // game's own buttons). Never over a page that says the game stopped.
  var style = document.createElement('style');
  style.textContent = [
    '#world { position: absolute; top: 0; right: 0; bottom: 0; width: min(360px, 100%); z-index: 2;',
    '  box-sizing: border-box; display: none; flex-direction: column; gap: 8px; padding: 10px 12px;',
    '  overflow-y: auto; overscroll-behavior: contain; touch-action: pan-y; background: #000a14;',
    '  border-left: 1px solid #234; }',
    '.world-open #world { display: flex; }',
    '#world .top { display: flex; align-items: baseline; gap: 8px; }',
    '#world .top b { color: #cde; font-size: 15px; }',
    '#world .top span { flex: 1; color: #678; overflow: hidden; text-overflow: ellipsis; white-space: nowrap; }',
    '#world label { color: #cde; display: flex; gap: 8px; align-items: center; cursor: pointer; }',
    '#world input { width: 18px; height: 18px; margin: 0; }',
    '#world p { margin: 0; font-size: 12px; color: #789; }',
    '#world p.said { font-size: 14px; color: #fd9; }',
    '#world p.said:empty { display: none; }',
    '#world h3 { margin: 4px 0 0; font-size: 13px; color: #8ac; letter-spacing: 1px; }',
    '#world table { width: 100%; border-collapse: collapse; font-size: 13px; table-layout: fixed; }',
    '#world td { padding: 1px 4px; white-space: nowrap; overflow: hidden; text-overflow: ellipsis; }',
    '#world td:nth-child(1) { width: 2.2em; text-align: right; color: #678; }',
    '#world td:nth-child(3) { width: 4.5em; text-align: right; }',
    '#world td:nth-child(4) { width: 3.5em; text-align: right; }',
    '#world tr.mine td { color: #fd9; }',
    '#world td.none { text-align: left; color: #678; }',
    '#world a { color: #8cf; }',
    '#world-touch { display: none; position: absolute; top: 2vmin; right: 2vmin; z-index: 1;',
    '  font-size: max(12px, 3.2vmin); padding: 1vmin 2.5vmin; border-radius: 3vmin; }',
    '.touch #world-touch { display: block; }',
    '.world-open #world-touch, .failed #world, .failed .world-toggle { display: none; }',
    // Held upright: below the picture, over the game's buttons.
    '@media (orientation: portrait) {',
    '  #world { width: 100%; }',
    '  .touch #world { top: 56.25vw; border-top: 1px solid #234; }',
    '  .touch #world-touch { top: calc(56.25vw + 3vw); }',
    '}',
    '@media (min-width: 1000px) and (min-aspect-ratio: 4/3) {',
    '  html:not(:fullscreen) body:not(.touch) #stage { right: 300px; }',
    '  html:not(:fullscreen) body:not(.touch) #world { display: flex; width: 300px; bottom: 28px; background: none; }',
    '  html:not(:fullscreen) body:not(.touch) .world-toggle,',
    '  html:not(:fullscreen) body:not(.touch) #world .close { display: none; }',
    '}'
  ].join('\n');
  document.head.appendChild(style);

  function el(tag, parent, text, className) {
    var e = document.createElement(tag);
    if (text) e.textContent = text;
    if (className) e.className = className;
    if (parent) parent.appendChild(e);
    return e;
  }
  var panel = el('aside', document.body);
  panel.id = 'world';
  panel.setAttribute('aria-label', 'World tables');
  var head = el('div', panel, '', 'top');
  el('b', head, 'World tables');
  el('span', head, server.host);
  var close = el('button', head, '×', 'close');
  var label = el('label', panel);
  var box = el('input', label);
  box.type = 'checkbox';
  el('span', label, 'Send my games to these tables');
  el('p', panel, 'Switched on, each game you finish that could enter a table here is sent to ' +
     server.host + ': its replay, which holds the name you typed, the score and every key you ' +
     'pressed in the game. The server keeps your address only in memory, for its limits on requests.');
  var said = el('p', panel, '', 'said');
  said.setAttribute('role', 'status');
  var bodies = TABLES.map(function (table) {
    el('h3', panel, table.toUpperCase());
    return el('tbody', el('table', panel));
  });
  var tablesNote = el('p', panel);

  function open(yes) {
    document.body.classList.toggle('world-open', yes);
    if (yes) readTables();
  }
  var barButton = el('button', null, 'World tables', 'world-toggle');
  document.getElementById('bar').insertBefore(barButton, document.getElementById('fullscreen'));
  var touchButton = el('button', document.body, 'WORLD', 'world-toggle');
  touchButton.id = 'world-touch';
  [barButton, touchButton, close].forEach(function (b) {
    b.type = 'button';
    b.addEventListener('click', function () {
      open(b !== close && !document.body.classList.contains('world-open'));
      canvas.focus();
    });
  });
  // The picture's size follows the stage, which the panel narrows.
  window.dispatchEvent(new Event('resize'));
  function shown() { return panel.getClientRects().length > 0; }

  // A line in the panel; one the player must see is a notice too while the
  // panel is not shown.
  function say(text) { said.textContent = text; }
  function tell(text) {
    say(text);
    if (!shown()) Module.cglNotice(text);
  }

  // The server's answer: its JSON, or an Error with its line, status and
  // Retry-After (which a browser shows across origins only when allowed).
  function ask(url, options, raw) {
    return fetch(url, options).catch(function () {
      throw new Error(server.host + ' does not answer');
    }).then(function (response) {
      if (response.ok && raw) return response.arrayBuffer();
      if (response.ok) {
        return response.json().catch(function () {
          throw new Error('it answers, but not as a world server');
        });
      }
      return response.json().catch(function () { return {}; }).then(function (answer) {
        var e = new Error(typeof answer.error == 'string' ? answer.error
                          : 'it answered ' + response.status + ' ' + response.statusText);
        e.status = response.status;
        e.retry = Number(response.headers.get('Retry-After')) || 0;
        throw e;
      });
    });
  }
  function table(name, limit) {
    return ask(api('scores?difficulty=' + name + '&limit=' + limit), { cache: 'no-cache' }).then(function (answer) {
      if (!answer || !Array.isArray(answer.entries)) throw new Error('its answer holds no table');
      return answer.entries;
    });
  }

  // ---------------------------------------------------------------------
  // The tables, and the player's games sent in this visit among them. A
  // read asked for while one is on its way follows it: the one on its way
  // may have left before the change that was asked for.
  var mine = {}, reading = false, again = false;
  function readTables() {
    if (reading) {
      again = true;
      return;
    }
    reading = true;
    Promise.all(TABLES.map(function (name) { return table(name, SHOWN); })).then(function (tables) {
      tables.forEach(function (entries, i) { showTable(bodies[i], entries); });
      tablesNote.textContent = '';
    }, function (e) {
      tablesNote.textContent = 'The tables cannot be read: ' + e.message + '.';
    }).then(function () {
      reading = false;
      if (again) {
        again = false;
        readTables();
      }
    });
  }
  function showTable(body, entries) {
    body.textContent = '';
    if (!entries.length) el('td', body.insertRow(), 'No games yet', 'none').colSpan = 4;
    entries.forEach(function (e) {
      var row = body.insertRow(), id = Number(e.id);
      if (mine[id]) row.className = 'mine';
      [e.place, e.name, e.score].forEach(function (v) { el('td', row, String(v)); });
      var link = el('a', el('td', row), 'Watch');
      link.href = '#watch=' + id;
      link.title = 'Watch this game here: the game on the screen is left';
    });
  }
  readTables();
  setInterval(function () {
    if (!document.hidden && shown()) readTables();
  }, REFRESH_MS);

  // ---------------------------------------------------------------------
  // Sending, once the player has switched it on (remembered, and the same
  // in every tab).
  var sending = false;
  try { sending = localStorage.getItem(SWITCH) == '1'; } catch (e) {}
  box.checked = sending;
  box.addEventListener('change', function () {
    sending = box.checked;
    try {
      localStorage.setItem(SWITCH, sending ? '1' : '0');
    } catch (e) {
      say('This browser keeps no settings for the page: the switch is off again at the next visit.');
    }
    canvas.focus();
  });
  window.addEventListener('storage', function (e) {
    if (e.key == SWITCH) box.checked = sending = e.newValue == '1';
  });

  // The last game's replay, looked at every second once the game runs (its
  // saves are read by then): a change is a game just finished. Games are
  // sent one after another.
  var lastSeen = null, queue = Promise.resolve();
  setInterval(function () {
    var FS = Module.FS, path = Module.cglSaveFolder + LAST, stamp = '';
    if (!(Module.cglSteps > 0) || !Module.cglSaveFolder || !FS) return;
    try {
      var stat = FS.stat(path);
      stamp = stat.mtime.getTime() + '/' + stat.size;
    } catch (e) {}
    var changed = lastSeen !== null && stamp && stamp != lastSeen;
    lastSeen = stamp;
    if (changed && sending) {
      var bytes = FS.readFile(path);
      queue = queue.then(function () { return send(bytes); });
    }
  }, 1000);

  // What the server needs to know first: the game was finished (one closed
  // in play has no final score), its table and its score.
  function finishedGame(bytes) {
    if (bytes.length < HEADER_BYTES || bytes[ENDING_AT] != 0 || bytes[DIFFICULTY_AT] > 2) return null;
    var view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    return { table: TABLES[bytes[DIFFICULTY_AT]], score: view.getInt32(SCORE_AT, true) };
  }

  function send(bytes) {
    var game = finishedGame(bytes);
    if (!game) return;
    var name = 'the world\'s ' + game.table.toUpperCase() + ' table';
    say('Your ' + game.score + ': looking at ' + name + '…');
    return table(game.table, CHECKED).then(function (entries) {
      if (entries.length >= CHECKED && game.score <= entries[CHECKED - 1].score) {
        say('Your ' + game.score + ' is not among the first ' + CHECKED + ' of ' + name + ': not sent.');
        return;
      }
      say('Sending your ' + game.score + ' to ' + name + '…');
      return post(bytes, 0).then(function (answer) {
        if (answer.id != null) mine[Number(answer.id)] = true;
        tell('Your ' + game.score + ' was sent: ' + answer.message + '.');
        readTables();
      }, function (e) {
        tell(e.status ? 'The world server refused your ' + game.score + ': ' + e.message + '.'
                      : 'Your ' + game.score + ' was not sent: ' + e.message + '.');
      });
    }, function (e) {
      tell('Your ' + game.score + ' was not sent: ' + e.message + '.');
    });
  }

  function post(bytes, tries) {
    return ask(api('scores'), {
      method: 'POST',
      headers: { 'Content-Type': 'application/octet-stream' },
      body: bytes
    }).catch(function (e) {
      if ((e.status != 429 && e.status != 503) || tries >= BUSY_TRIES) throw e;
      var wait = Math.min(60, e.retry || 10);
      say('The world server is busy (' + e.message + '): sending again in ' + wait + ' s…');
      return new Promise(function (resolve) { setTimeout(resolve, wait * 1000); }).then(function () {
        return post(bytes, tries + 1);
      });
    });
  }

  // ---------------------------------------------------------------------
  // Watching an entry: from its link in the panel, or from a link to the
  // page (#watch=<id>), whose replay is fetched while the page loads and
  // played when the program starts.
  function fetchReplay(id) {
    return ask(api('replays/' + id), {}, true).then(function (buffer) { return new Uint8Array(buffer); });
  }
  function cannotWatch(id, e) {
    tell('Entry ' + id + ' cannot be watched: ' + e.message + '.');
  }
  var linked = /^#watch=(\d{1,18})$/.exec(location.hash);
  if (linked) history.replaceState(history.state, '', location.pathname + location.search);
  if (linked && !Module.arguments) {
    var coming = fetchReplay(linked[1]).then(function (bytes) {
      return { bytes: bytes };
    }, function (e) {
      return { error: e };
    });
    // The program reads this very array when it starts: emptied, it starts
    // without the replay.
    var args = Module.arguments = ['--play', WATCHED];
    (Module.preRun = Module.preRun || []).push(function () {
      Module.addRunDependency('world-replay');
      coming.then(function (got) {
        if (got.bytes) {
          Module.FS.writeFile(WATCHED, got.bytes);
        } else {
          args.length = 0;
          cannotWatch(linked[1], got.error);
        }
        Module.removeRunDependency('world-replay');
      });
    });
  }
  panel.addEventListener('click', function (e) {
    var link = e.target.closest && e.target.closest('a[href^="#watch="]');
    if (!link) return;
    e.preventDefault();
    canvas.focus();  // Enter is the game's, not the link's
    var id = link.getAttribute('href').slice('#watch='.length);
    if (!(Module.cglSteps > 0)) {
      // Still loading: the link's own way.
      location.hash = 'watch=' + id;
      location.reload();
      return;
    }
    say('Fetching entry ' + id + '…');
    fetchReplay(id).then(function (bytes) {
      open(false);
      say('Watching entry ' + id + '.');
      Module.cglWatchReplay(bytes);
    }, function (e) {
      cannotWatch(id, e);
    });
  });
})();
