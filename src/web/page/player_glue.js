// The page around the player (tolvani_player.js / .wasm): sizes the canvas,
// runs the 30 ms tick on a timer and draws frames by requestAnimationFrame,
// passes mouse, wheel and keys to the view in the window's coordinates,
// fetches ?file=URL into the memory file system and opens it, and shows the
// core's message boxes as an HTML dialog. window.tolvaniPage tells tests and
// embedding pages how far the page has got.
//
// Address parameters: file=URL (same origin, or served with CORS) opens a
// cartoon; still=1 runs no tick timer, so the picture stays the first frame
// after the open (as `tolvani render FILE -o x.png` draws it); with still=1,
// ticks=N first runs N ticks at once, each followed by the frame it asks for
// (as a render script's `tick N`).
'use strict';

(function () {
  const kTickMs = 30; // the view's tick, as in the window
  const canvas = document.getElementById('canvas');
  const dialog = document.getElementById('message');
  const state = (window.tolvaniPage = {
    started: false,
    opened: null, // true / false once the ?file= open has run
    frames: 0, // frames drawn by requestAnimationFrame
    ticks: 0,
    messages: [], // texts of the message boxes shown, in order
    links: [], // addresses opened in a new tab
    // performance.now() (ms since the page's navigation) when the runtime
    // was ready, the cartoon's bytes had arrived, and the first frame after
    // the open was drawn.
    readyMs: null,
    fetchedMs: null,
    firstFrameMs: null,
  });
  const parameters = new URLSearchParams(location.search);
  const still = parameters.get('still') === '1';
  let frameWanted = false;
  let api = null;

  // Device pixels, as the window passes them: CSS pixels times the ratio.
  const ratio = () => window.devicePixelRatio || 1;
  function devicePoint(event) {
    const box = canvas.getBoundingClientRect();
    return [
      Math.floor((event.clientX - box.left) * ratio()),
      Math.floor((event.clientY - box.top) * ratio()),
    ];
  }
  function fitCanvas() {
    const width = Math.max(1, Math.round(canvas.clientWidth * ratio()));
    const height = Math.max(1, Math.round(canvas.clientHeight * ratio()));
    if (canvas.width === width && canvas.height === height) return false;
    canvas.width = width;
    canvas.height = height;
    return true;
  }

  // The view's virtual-key codes (KeyboardEvent.code -> code).
  function virtualKey(event) {
    const named = {
      ArrowLeft: 0x25, ArrowUp: 0x26, ArrowRight: 0x27, ArrowDown: 0x28,
      Space: 0x20, Enter: 0x0d, NumpadEnter: 0x0d, PageDown: 0x22,
    };
    if (event.code in named) return named[event.code];
    let m = /^Key([A-Z])$/.exec(event.code);
    if (m) return m[1].charCodeAt(0);
    m = /^Digit([0-9])$/.exec(event.code);
    if (m) return m[1].charCodeAt(0);
    return 0;
  }

  function showMessage(text) {
    state.messages.push(text);
    dialog.querySelector('p').textContent = text;
    if (!dialog.open) dialog.showModal();
  }
  function openLink(target) {
    state.links.push(target);
    window.open(target, '_blank', 'noopener');
  }

  function frame() {
    if (frameWanted) {
      frameWanted = false;
      api.draw();
      state.frames += 1;
    }
    requestAnimationFrame(frame);
  }

  // The cartoon downloads while the .wasm compiles and the view starts.
  const address = parameters.get('file');
  const download = address
    ? fetch(address).then((response) => {
        if (!response.ok) throw new Error(`HTTP ${response.status}`);
        return response.arrayBuffer();
      })
    : null;
  download?.catch(() => {}); // reported when awaited

  async function openFromAddress() {
    if (!download) return;
    let bytes = null;
    try {
      bytes = new Uint8Array(await download);
    } catch (error) {
      // The open below finds no file and says so as the desktop does.
      console.error(`tolvani: cannot fetch ${address}: ${error}`);
    }
    state.fetchedMs = performance.now();
    // The file keeps its name, so that messages name it as on the desktop.
    let name = new URL(address, location.href).pathname.split('/').pop() || 'cartoon.zvmov';
    try {
      name = decodeURIComponent(name);
    } catch {
      // a malformed escape: the name stays as written
    }
    Module.FS.mkdirTree('/cartoons');
    const path = '/cartoons/' + name.replace(/[\/\0]/g, '_');
    if (bytes !== null) Module.FS.writeFile(path, bytes);
    state.opened = api.open(path) === 1;
    // The first frame after the open, before any tick, as the window's
    // first paint.
    frameWanted = false;
    api.draw();
    state.frames += 1;
    state.firstFrameMs = performance.now();
    if (still) {
      const ticks = Math.min(Math.max(0, parseInt(parameters.get('ticks') ?? '0', 10) || 0), 100000);
      for (let i = 0; i < ticks; ++i) {
        state.ticks += 1;
        if (api.tick() === 1) {
          api.draw();
          state.frames += 1;
        }
      }
    }
  }

  function start() {
    api = {
      start: Module.cwrap('tolvani_start', 'number', ['string', 'number', 'number']),
      open: Module.cwrap('tolvani_open', 'number', ['string']),
      tick: Module._tolvani_tick,
      draw: Module._tolvani_draw,
      resize: Module._tolvani_resize,
    };
    fitCanvas();
    if (api.start('#canvas', canvas.width, canvas.height) !== 1) return;
    state.started = true;
    state.readyMs = performance.now();

    new ResizeObserver(() => {
      if (fitCanvas()) api.resize(canvas.width, canvas.height);
      frameWanted = true;
    }).observe(canvas);
    canvas.addEventListener('contextmenu', (e) => e.preventDefault());
    canvas.addEventListener('mousedown', (e) => {
      canvas.focus();
      if (e.detail === 2 && e.button === 0) Module._tolvani_double_click(...devicePoint(e));
      else Module._tolvani_mouse_down(e.button, ...devicePoint(e));
    });
    window.addEventListener('mouseup', (e) => Module._tolvani_mouse_up(e.button, ...devicePoint(e)));
    canvas.addEventListener('mousemove', (e) => Module._tolvani_mouse_move(...devicePoint(e), e.buttons));
    canvas.addEventListener('wheel', (e) => {
      e.preventDefault();
      // One notch is 120, upwards positive, as the window's wheel delta.
      const delta = Math.round(-e.deltaY * (e.deltaMode === 0 ? 120 / 100 : 120 / 3));
      if (delta !== 0) Module._tolvani_wheel(delta, ...devicePoint(e));
    }, { passive: false });
    canvas.addEventListener('keydown', (e) => {
      const key = virtualKey(e);
      if (key === 0) return;
      e.preventDefault();
      Module._tolvani_key_down(key, e.repeat ? 1 : 0);
    });
    canvas.addEventListener('keyup', (e) => Module._tolvani_key_up(virtualKey(e)));
    canvas.addEventListener('blur', () => Module._tolvani_release_held_input());

    if (!still) setInterval(() => {
      if (document.hidden) return; // a hidden tab pauses the story
      state.ticks += 1;
      if (api.tick() === 1) frameWanted = true;
    }, kTickMs);
    frameWanted = true;
    requestAnimationFrame(frame);
    canvas.focus();
    openFromAddress();
  }

  window.Module = {
    canvas,
    tolvani: { showMessage, openLink },
    print: (text) => console.log(text),
    printErr: (text) => console.warn(text),
    onRuntimeInitialized: start,
  };
})();
