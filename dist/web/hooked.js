// The test page only (emcc --pre-js): the hooks' VORN_* variables from the query string, and
// ?music=off for the library's settings without the synthesiser, so that a sound is heard alone.
var query = new URLSearchParams(location.search);
Module['preRun'] = (Module['preRun'] || []).concat(function() {
  query.forEach(function(value, name) {
    if (/^VORN_/.test(name)) ENV[name] = value;
  });
});
// Once the packed files are in place, before the game starts.
Module['onRuntimeInitialized'] = function() {
  if (query.get('music') == 'off') FS.writeFile('/game/allegro.cfg', '[sound]\nmidi_card = 0\n');
};
