// The page's side of the web platform (emcc --js-library): the canvas, the key and pointer queue,
// Web Audio and the page's state, for the C drivers in w*.c.
mergeInto(LibraryManager.library, {
  $WebPage: {
    events: [],
    focused: true,
    image: null,
    context: null,
    audio: null,
    started: false,
    // The library's scancodes by KeyboardEvent.code: letters 1-26, digits 27-36, keypad 37-46,
    // F1-F12 47-58, then the named keys in the library's order.
    codes: null,
    makeCodes: function() {
      var codes = {};
      for (var i = 0; i < 26; i++) codes['Key' + String.fromCharCode(65 + i)] = 1 + i;
      for (var d = 0; d < 10; d++) { codes['Digit' + d] = 27 + d; codes['Numpad' + d] = 37 + d; }
      for (var f = 1; f <= 12; f++) codes['F' + f] = 46 + f;
      var named = ['Escape', 'Backquote', 'Minus', 'Equal', 'Backspace', 'Tab', 'BracketLeft',
                   'BracketRight', 'Enter', 'Semicolon', 'Quote', 'Backslash', 'IntlBackslash', 'Comma',
                   'Period', 'Slash', 'Space', 'Insert', 'Delete', 'Home', 'End', 'PageUp', 'PageDown',
                   'ArrowLeft', 'ArrowRight', 'ArrowUp', 'ArrowDown', 'NumpadDivide', 'NumpadMultiply',
                   'NumpadSubtract', 'NumpadAdd', 'NumpadDecimal', 'NumpadEnter', 'PrintScreen', 'Pause'];
      for (var n = 0; n < named.length; n++) codes[named[n]] = 59 + n;
      var modifiers = ['ShiftLeft', 'ShiftRight', 'ControlLeft', 'ControlRight', 'AltLeft', 'AltRight',
                       'MetaLeft', 'MetaRight', 'ContextMenu', 'ScrollLock', 'NumLock', 'CapsLock'];
      for (var m = 0; m < modifiers.length; m++) codes[modifiers[m]] = 115 + m;
      return codes;
    },
    // The first click or key lets the page play sound.
    startSound: function() {
      if (WebPage.started) return;
      WebPage.started = true;
      if (WebPage.audio) WebPage.audio.context.resume();
      if (Module['onSoundAllowed']) Module['onSoundAllowed']();
    },
    listen: function() {
      WebPage.codes = WebPage.makeCodes();
      WebPage.focused = document.hasFocus();
      window.addEventListener('focus', function() { WebPage.focused = true; });
      window.addEventListener('blur', function() { WebPage.focused = false; });
      var key = function(down) {
        return function(e) {
          var code = WebPage.codes[e.code];
          WebPage.startSound();
          if (!code) return;
          var ascii = 0;
          if (e.key.length == 1) ascii = e.key.charCodeAt(0);
          else if (e.key == 'Enter') ascii = 13;
          else if (e.key == 'Escape') ascii = 27;
          else if (e.key == 'Backspace') ascii = 8;
          else if (e.key == 'Tab') ascii = 9;
          WebPage.events.push(down ? [1, code, ascii, 0] : [2, code, 0, 0]);
          // The game's keys are not the browser's: no scrolling, no browser full screen by F11.
          if (!e.ctrlKey && !e.metaKey) e.preventDefault();
        };
      };
      window.addEventListener('keydown', key(true));
      window.addEventListener('keyup', key(false));
      var pointer = function(e) {
        var canvas = Module['canvas'];
        var r = canvas.getBoundingClientRect();
        if (r.width <= 0 || r.height <= 0) return;
        var x = Math.floor((e.clientX - r.left) * canvas.width / r.width);
        var y = Math.floor((e.clientY - r.top) * canvas.height / r.height);
        WebPage.events.push([3, x, y, e.buttons & 7]);
      };
      window.addEventListener('mousemove', pointer);
      window.addEventListener('mousedown', function(e) { WebPage.startSound(); pointer(e); });
      window.addEventListener('mouseup', pointer);
      Module['canvas'].addEventListener('contextmenu', function(e) { e.preventDefault(); });
    }
  },

  web_page_hidden__deps: ['$WebPage'],
  web_page_hidden: function() {
    return (document.hidden || !WebPage.focused) ? 1 : 0;
  },

  web_page_message: function(text) {
    var s = UTF8ToString(text);
    console.log(s);
    if (Module['onMessage']) Module['onMessage'](s);
  },

  web_page_title: function(text) {
    document.title = UTF8ToString(text);
  },

  web_canvas_open__deps: ['$WebPage'],
  web_canvas_open: function(w, h) {
    var canvas = Module['canvas'];
    if (!WebPage.codes) WebPage.listen();
    canvas.width = w;
    canvas.height = h;
    // Desynchronized: a frame reaches the screen with less of the compositor's work (an eighth less
    // CPU in play at 60 frames a second in headless Chromium).
    WebPage.context = canvas.getContext('2d', { desynchronized: true });
    WebPage.image = WebPage.context.createImageData(w, h);
    WebPage.pixels = new Uint32Array(WebPage.image.data.buffer);
    if (Module['onCanvasOpened']) Module['onCanvasOpened'](w, h);
  },

  web_canvas_show__deps: ['$WebPage'],
  web_canvas_show: function(pixels, pitch, x, y, w, h) {
    var out = WebPage.pixels, width = WebPage.image.width;
    for (var row = y; row < y + h; row++) {
      var src = (pixels + row * pitch) / 4 + x, dst = row * width + x;
      for (var i = 0; i < w; i++) out[dst + i] = HEAPU32[src + i] | 0xFF000000;
    }
    WebPage.context.putImageData(WebPage.image, 0, 0, x, y, w, h);
  },

  web_page_fullscreen: function(on) {
    var stage = Module['fullscreenElement'] || Module['canvas'];
    if (on && !document.fullscreenElement && stage.requestFullscreen)
      stage.requestFullscreen().catch(function() {});
    else if (!on && document.fullscreenElement)
      document.exitFullscreen().catch(function() {});
  },

  web_next_event__deps: ['$WebPage'],
  web_next_event: function(a, b, c) {
    var e = WebPage.events.shift();
    if (!e) return 0;
    HEAP32[a >> 2] = e[1];
    HEAP32[b >> 2] = e[2];
    HEAP32[c >> 2] = e[3];
    return e[0];
  },

  // The node asks for a block at a time; the mixer fills it unless the page is in the background.
  // Module.webAudioTap keeps the blocks handed to Web Audio and the loudest one's RMS, for tests.
  web_audio_open__deps: ['$WebPage', 'web_page_hidden'],
  web_audio_open: function(frames) {
    var Context = window.AudioContext || window.webkitAudioContext;
    if (!Context) return 0;
    var context = new Context();
    var node = context.createScriptProcessor(frames, 0, 2);
    var tap = Module['webAudioTap'] = { blocks: 0, loudest: 0 };
    node.onaudioprocess = function(e) {
      var left = e.outputBuffer.getChannelData(0), right = e.outputBuffer.getChannelData(1);
      if (_web_page_hidden() || ABORT) {
        left.fill(0);
        right.fill(0);
        return;
      }
      var block = Module['_web_audio_mix']() >> 1;
      var sum = 0;
      for (var i = 0; i < frames; i++) {
        var l = HEAP16[block + 2 * i] / 32768, r = HEAP16[block + 2 * i + 1] / 32768;
        left[i] = l;
        right[i] = r;
        sum += l * l + r * r;
      }
      tap.blocks++;
      tap.loudest = Math.max(tap.loudest, Math.sqrt(sum / (2 * frames)));
    };
    node.connect(context.destination);
    WebPage.audio = { context: context, node: node };
    // A click before the sound was opened, or a browser that allows sound at once.
    if (WebPage.started || context.state == 'running') {
      WebPage.started = false;
      WebPage.startSound();
    }
    return context.sampleRate;
  },

  web_audio_close__deps: ['$WebPage'],
  web_audio_close: function() {
    if (!WebPage.audio) return;
    WebPage.audio.node.disconnect();
    WebPage.audio.context.close();
    WebPage.audio = null;
  }
});
