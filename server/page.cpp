// The page at /, made whole on the server: the tables are in its HTML, so
// it shows without script; the script only opens a watched replay in the
// game's page and sends the form's file.
#include "server/page.h"

#include <cstdio>

#include "server/api.h"

namespace {

std::string Html(const std::string &text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// A JavaScript string literal that cannot end the script element.
std::string ScriptString(const std::string &text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\' || c == '<' || c == '>' || c == '&' || c < 0x20 || c > 0x7e) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

const char kStyle[] = R"(
body { background: #05060f; color: #e8e6ff; font: 15px/1.4 monospace; margin: 0; padding: 20px; }
h1 { color: #ffd85a; letter-spacing: 4px; margin: 0 0 4px; }
p { color: #a8a6c8; margin: 4px 0 16px; }
.tables { display: flex; flex-wrap: wrap; gap: 16px; }
section { background: #0d1030; border: 1px solid #2b2f6a; padding: 10px 12px; flex: 1 1 380px;
          min-width: 0; overflow-x: auto; }
h2 { margin: 0 0 8px; color: #7fe0ff; letter-spacing: 3px; }
table { border-collapse: collapse; font-size: 14px; }
td, th { padding: 2px 5px; text-align: left; white-space: nowrap; }
td.name { max-width: 13em; overflow: hidden; text-overflow: ellipsis; }
th { color: #8a88b8; font-weight: normal; }
td.n, th.n { text-align: right; }
a { color: #ffd85a; }
.empty { color: #6a6890; }
form { margin-top: 16px; background: #0d1030; border: 1px solid #2b2f6a; padding: 10px 12px; }
#answer { margin-left: 12px; }
)";

const char kScript[] = R"(
(function () {
  'use strict';
  function base64url(bytes) {
    var text = '';
    for (var i = 0; i < bytes.length; i++) text += String.fromCharCode(bytes[i]);
    return btoa(text).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
  }
  // A watched entry opens the game's page with its replay in the link.
  document.querySelectorAll('a.watch').forEach(function (a) {
    if (!GAME) return;
    a.addEventListener('click', function (e) {
      e.preventDefault();
      fetch(a.href).then(function (r) {
        if (!r.ok) throw new Error('status ' + r.status);
        return r.arrayBuffer();
      }).then(function (data) {
        location.href = GAME + '#replay=' + base64url(new Uint8Array(data));
      }).catch(function (err) { a.textContent = 'cannot load (' + err.message + ')'; });
    });
  });
  var form = document.getElementById('send');
  var answer = document.getElementById('answer');
  form.addEventListener('submit', function (e) {
    e.preventDefault();
    var file = document.getElementById('file').files[0];
    if (!file) { answer.textContent = 'Choose a .qoreplay file first.'; return; }
    answer.textContent = 'Verifying...';
    fetch('/api/v1/scores', { method: 'POST', body: file,
                              headers: { 'Content-Type': 'application/octet-stream' } })
      .then(function (r) { return r.json(); })
      .then(function (j) {
        answer.textContent = j.error ? 'Refused: ' + j.error : j.name + ', ' + j.score + ': ' + j.message;
        if (j.stored) setTimeout(function () { location.reload(); }, 1500);
      }).catch(function (err) { answer.textContent = 'Not sent: ' + err.message; });
  });
})();
)";

std::string Clock(uint32_t frames) {
    uint32_t seconds = frames / 60;
    char text[32];
    std::snprintf(text, sizeof text, "%u:%02u", seconds / 60, seconds % 60);
    return text;
}

}  // namespace

std::string RenderPage(const std::vector<s_entry> tables[3], int rules,
                       const std::string &gameUrl) {
    const char *const titles[3] = {"EASY", "MEDIUM", "HARD"};
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
        "<title>QO STARFOLD - World tables</title><style>" +
        std::string(kStyle) +
        "</style></head><body>\n<h1>QO STARFOLD</h1>\n"
        "<p>World tables, rules version " +
        std::to_string(rules) +
        ". Every score here was proved by its replay, played again on this server by the "
        "game's own code. A name is the player's own word.</p>\n<div class=\"tables\">\n";
    for (int d = 0; d < 3; d++) {
        page += "<section id=\"" +
                std::string(d == 0   ? "easy"
                            : d == 1 ? "medium"
                                     : "hard") +
                "\"><h2>" + titles[d] + "</h2>\n";
        if (tables[d].empty()) {
            page += "<p class=\"empty\">No games yet.</p>";
        } else {
            page +=
                "<table><tr><th class=\"n\">#</th><th>Name</th><th class=\"n\">Score</th>"
                "<th class=\"n\">Time</th><th>Date</th><th></th></tr>\n";
            for (const s_entry &e : tables[d]) {
                page += "<tr><td class=\"n\">" + std::to_string(e.place) +
                        "</td><td class=\"name\">" + Html(ShownName(e.name)) +
                        "</td><td class=\"n\">" + std::to_string(e.score) +
                        "</td><td class=\"n\">" + Clock(e.frames) + "</td><td>" +
                        UtcText(e.date, "%Y-%m-%d") +
                        "</td><td><a class=\"watch\" href=\"/api/v1/replays/" +
                        std::to_string(e.id) + "\">watch</a></td></tr>\n";
            }
            page += "</table>";
        }
        page += "</section>\n";
    }
    page +=
        "</div>\n<form id=\"send\"><label>Send a game: <input type=\"file\" id=\"file\" "
        "accept=\".qoreplay\"></label> <button type=\"submit\">Send</button>"
        "<span id=\"answer\"></span><p>The game keeps the replays of your highscores beside them, "
        "in "
        "<code>replays/</code>, and the last game as <code>replays/last.qoreplay</code>. A game "
        "enters when it plays here as it was recorded; the same game is kept once, under the "
        "name it was first sent with.</p></form>\n<script>var GAME = " +
        ScriptString(gameUrl) + ";" + kScript + "</script>\n</body></html>\n";
    return page;
}
