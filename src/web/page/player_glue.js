// The page around the player (tolvani_player.js / .wasm): sizes the canvas,
// runs the 30 ms tick on a timer (paused while the tab is hidden) and draws
// frames by requestAnimationFrame, passes mouse, wheel, keys and touch to
// the view in the window's coordinates, fetches ?file=URL into the memory
// file system and opens it, opens dropped files and those chosen with 開く…
// as the window's drop does, toggles full screen (F11 or the button; Esc
// leaves), and shows the core's message boxes one after another as an HTML
// dialog. window.tolvaniPage tells tests and embedding pages how far the
// page has got; tolvaniPage.query() returns the story's state.
//
// Touch: one finger is the left button (a tap clicks, a drag drags), two
// fingers moving up or down turn the wheel (kTouchNotchPixels CSS pixels a
// notch, fingers up as the wheel turned towards the viewer).
//
// Address parameters: file=URL (same origin, or served with CORS) opens a
// cartoon; still=1 runs no tick timer, so the picture stays the first frame
// after the open (as `tolvani render FILE -o x.png` draws it); with still=1,
// ticks=N first runs N ticks at once, each followed by the frame it asks for
// (as a render script's `tick N`).
'use strict';

(function () {
  const kTickMs = 30; // the view's tick, as in the window
  const kWheelNotch = 120; // the window's wheel delta per notch
  const kTouchNotchPixels = 40;
  // Larger files are not read: the player needs several times a file's
  // size in memory, and a WebAssembly page has 4 GB at most.
  const kMaxFileBytes = 256 * 1024 * 1024;
  // Where files live in the memory file system: the page's own cartoon
  // (?file=), and dropped or chosen ones (one at a time).
  const kAddressFolder = '/cartoons';
  const kLocalFolder = '/local';
  // Where the player looks for its start-up project (its program
  // directory's Main.zvmov): a failed open of a dropped file falls back to
  // it, as the window's does.
  const kStartUpProject = '/tolvani/Main.zvmov';
  const kLeft = 0; // MouseEvent.button of the left button
  const kLeftHeld = 1; // MouseEvent.buttons while the left button is held
  const canvas = document.getElementById('canvas');
  const dialog = document.getElementById('message');
  const fileInput = document.getElementById('file');
  const state = (window.tolvaniPage = {
    started: false,
    opened: null, // true / false once the ?file= open has run
    frames: 0, // frames drawn by requestAnimationFrame
    ticks: 0,
    messages: [], // texts of the message boxes shown, in order
    links: [], // addresses opened in a new tab
    localOpens: [], // results (true / false) of dropped and chosen files' opens
    query: () => null, // the story's state, once started
    openFiles: () => Promise.resolve(), // File objects opened as dropped ones, once started
    // performance.now() (ms since the page's navigation) when the runtime
    // was ready, the cartoon's bytes had arrived, and the first frame after
    // the open was drawn; how long the open itself took (ms).
    readyMs: null,
    fetchedMs: null,
    firstFrameMs: null,
    openMs: null,
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

  // Message boxes queue: each is shown until its OK, none is lost.
  const pendingMessages = [];
  function showNextMessage() {
    if (dialog.open || pendingMessages.length === 0) return;
    dialog.querySelector('p').textContent = pendingMessages.shift();
    dialog.showModal();
  }
  function showMessage(text) {
    state.messages.push(text);
    pendingMessages.push(text);
    showNextMessage();
  }
  dialog.addEventListener('close', () => {
    showNextMessage();
    if (!dialog.open) canvas.focus();
  });

  // The core sends web addresses only (the desktop's rules on which and how
  // many); the page checks the scheme again before anything opens.
  function openLink(target) {
    let url = null;
    try {
      url = new URL(target);
    } catch {
      // not an absolute address
    }
    if (url === null || (url.protocol !== 'http:' && url.protocol !== 'https:')) {
      console.warn(`tolvani: not opened: ${target}`);
      return;
    }
    state.links.push(target);
    window.open(target, '_blank', 'noopener');
  }

  // The pointer's cue, as the window's: a hand over a balloon that a click
  // would move on, checked after each tick and move.
  let mouseInside = false;
  let cue = false;
  function updateCue() {
    const now = mouseInside && !dialog.open &&
      Module._tolvani_click_would_advance(Module._tolvani_last_mouse_x(), Module._tolvani_last_mouse_y()) === 1;
    if (now === cue) return;
    cue = now;
    canvas.style.cursor = cue ? 'pointer' : '';
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

  // Files live in the memory file system under their own names (messages
  // name them as on the desktop); a dropped one is removed once another has
  // been dropped.
  let localPath = null;
  function storePath(folder, name) {
    Module.FS.mkdirTree(folder);
    return folder + '/' + (name.replace(/[\/\0]/g, '_') || 'cartoon.zvmov');
  }
  function forget(path) {
    if (path === null) return;
    try {
      Module.FS.unlink(path);
    } catch {
      // never written (a failed fetch)
    }
  }

  // The window's drop path for local files, in order: only project files
  // are read (others are ignored, as by the window), each through the open
  // of a dropped file.
  const isProjectName = (name) => /\.zvmov$/i.test(name);
  let localOpens = Promise.resolve();
  function openLocalFiles(files) {
    for (const file of Array.from(files)) {
      if (!isProjectName(file.name)) continue;
      // One failure never stops the files after it.
      localOpens = localOpens
        .then(() => openLocalFile(file))
        .catch((error) => {
          console.error(`tolvani: cannot open ${file.name}: ${error}`);
          state.localOpens.push(false);
        });
    }
    return localOpens;
  }
  async function openLocalFile(file) {
    if (file.size > kMaxFileBytes) {
      showMessage(`${file.name}\nファイルが大きすぎるため開けません（${kMaxFileBytes / 1048576} MB まで）。`);
      state.localOpens.push(false);
      return;
    }
    let bytes;
    try {
      bytes = new Uint8Array(await file.arrayBuffer());
    } catch (error) {
      console.error(`tolvani: cannot read ${file.name}: ${error}`);
      state.localOpens.push(false);
      return;
    }
    const path = storePath(kLocalFolder, file.name);
    if (path !== localPath) forget(localPath);
    Module.FS.writeFile(path, bytes);
    bytes = null;
    const ok = api.openLocal(path) === 1;
    localPath = path;
    state.localOpens.push(ok);
    frameWanted = true;
  }

  function toggleFullScreen() {
    if (document.fullscreenElement) {
      document.exitFullscreen().catch(() => {});
    } else if (document.documentElement.requestFullscreen) {
      document.documentElement
        .requestFullscreen()
        .catch((error) => console.warn(`tolvani: no full screen: ${error}`));
    }
    canvas.focus();
  }

  // One finger is the left button, two turn the wheel.
  const touch = { fingers: 0, id: null, start: null, last: null, pressed: false, midY: 0, rest: 0 };
  function middleY(touches) {
    return (touches[0].clientY + touches[1].clientY) / 2;
  }
  function findTouch(list, id) {
    return Array.from(list).find((t) => t.identifier === id) ?? null;
  }
  function onTouchStart(e) {
    e.preventDefault();
    canvas.focus();
    if (e.touches.length === 1 && touch.fingers === 0) {
      touch.fingers = 1;
      touch.id = e.touches[0].identifier;
      touch.start = touch.last = devicePoint(e.touches[0]);
      touch.pressed = false;
      Module._tolvani_mouse_move(...touch.start, 0);
    } else if (e.touches.length >= 2) {
      // A second finger turns a press into a wheel; a press not yet
      // made never happens.
      if (touch.fingers === 1 && touch.pressed) Module._tolvani_mouse_up(kLeft, ...touch.last);
      touch.fingers = 2;
      touch.midY = middleY(e.touches);
      touch.rest = 0;
    }
  }
  function onTouchMove(e) {
    e.preventDefault();
    if (touch.fingers === 1) {
      const t = findTouch(e.touches, touch.id);
      if (t === null) return;
      // The press is made at the first move, so that a second finger
      // landing at once makes no click.
      if (!touch.pressed) {
        Module._tolvani_mouse_down(kLeft, ...touch.start);
        touch.pressed = true;
      }
      touch.last = devicePoint(t);
      Module._tolvani_mouse_move(...touch.last, kLeftHeld);
    } else if (touch.fingers === 2 && e.touches.length >= 2) {
      const y = middleY(e.touches);
      touch.rest += ((y - touch.midY) * kWheelNotch) / kTouchNotchPixels;
      touch.midY = y;
      // Whole notches only: Scroll counts every wheel message as one.
      const x = (e.touches[0].clientX + e.touches[1].clientX) / 2;
      while (Math.abs(touch.rest) >= kWheelNotch) {
        const delta = Math.sign(touch.rest) * kWheelNotch;
        touch.rest -= delta;
        Module._tolvani_wheel(delta, ...devicePoint({ clientX: x, clientY: y }));
      }
    }
  }
  function onTouchEnd(e, cancelled) {
    e.preventDefault();
    if (touch.fingers === 1) {
      const t = findTouch(e.changedTouches, touch.id);
      if (t === null) return;
      const point = devicePoint(t);
      if (!touch.pressed && !cancelled) {
        // A tap: the click of the left button.
        Module._tolvani_mouse_down(kLeft, ...touch.start);
        touch.pressed = true;
      }
      if (touch.pressed) Module._tolvani_mouse_up(kLeft, ...point);
      touch.fingers = 0;
    } else if (touch.fingers === 2 && e.touches.length === 0) {
      touch.fingers = 0; // back to one finger only once every finger has left
    }
  }

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
    if (bytes !== null && bytes.length > kMaxFileBytes) {
      console.error(`tolvani: ${address} is larger than ${kMaxFileBytes} bytes`);
      bytes = null;
    }
    const path = storePath(kAddressFolder, name);
    if (bytes !== null) {
      Module.FS.writeFile(path, bytes);
      // The page's cartoon is its start-up project.
      try {
        Module.FS.symlink(path, kStartUpProject);
      } catch (error) {
        console.warn(`tolvani: no start-up project: ${error}`);
      }
    }
    const openStart = performance.now();
    state.opened = api.open(path) === 1;
    state.openMs = performance.now() - openStart;
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
      openLocal: Module.cwrap('tolvani_open_local', 'number', ['string']),
      query: Module.cwrap('tolvani_state', 'string', []),
      tick: Module._tolvani_tick,
      draw: Module._tolvani_draw,
      resize: Module._tolvani_resize,
    };
    fitCanvas();
    if (api.start('#canvas', canvas.width, canvas.height) !== 1) return;
    state.started = true;
    state.readyMs = performance.now();
    state.query = () => JSON.parse(api.query());
    state.openFiles = openLocalFiles;

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
    canvas.addEventListener('mousemove', (e) => {
      Module._tolvani_mouse_move(...devicePoint(e), e.buttons);
      mouseInside = true;
      updateCue();
    });
    canvas.addEventListener('mouseleave', () => {
      mouseInside = false;
      updateCue();
    });
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
    canvas.addEventListener('touchstart', onTouchStart, { passive: false });
    canvas.addEventListener('touchmove', onTouchMove, { passive: false });
    canvas.addEventListener('touchend', (e) => onTouchEnd(e, false), { passive: false });
    canvas.addEventListener('touchcancel', (e) => onTouchEnd(e, true), { passive: false });

    window.addEventListener('keydown', (e) => {
      if (e.code !== 'F11') return;
      e.preventDefault();
      toggleFullScreen();
    });
    document.getElementById('fullscreen').addEventListener('click', toggleFullScreen);
    document.getElementById('open').addEventListener('click', () => fileInput.click());
    fileInput.addEventListener('change', () => {
      openLocalFiles(fileInput.files);
      fileInput.value = ''; // the same file can be chosen again
      canvas.focus();
    });
    const dragsFiles = (e) => Array.from(e.dataTransfer?.types ?? []).includes('Files');
    window.addEventListener('dragover', (e) => {
      if (!dragsFiles(e)) return;
      e.preventDefault();
      e.dataTransfer.dropEffect = 'copy';
      document.body.classList.add('dragging');
    });
    window.addEventListener('dragleave', () => document.body.classList.remove('dragging'));
    window.addEventListener('drop', (e) => {
      document.body.classList.remove('dragging');
      if (!dragsFiles(e)) return;
      e.preventDefault();
      openLocalFiles(e.dataTransfer.files);
    });
    // A hidden tab pauses the story (the tick skips); keys held when it
    // went away are let go, and the picture is redrawn on return.
    document.addEventListener('visibilitychange', () => {
      if (document.hidden) Module._tolvani_release_held_input();
      else frameWanted = true;
    });

    if (!still) setInterval(() => {
      if (document.hidden) return; // a hidden tab pauses the story
      state.ticks += 1;
      if (api.tick() === 1) frameWanted = true;
      updateCue();
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
