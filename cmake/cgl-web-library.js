// JavaScript the engine's browser build links in. SDL's audio, built from
// its own source rather than as emscripten's port, calls two functions of
// the runtime that are only kept when something depends on them.
mergeInto(LibraryManager.library, {
  cgl_web_keep__deps: ['$autoResumeAudioContext', '$dynCall'],
  cgl_web_keep: function() {},
});
