'use strict';
// The page's script: the control's script object over /api/call, the category
// list and instance picker, the grid drawn from the control's grid state, and the
// control's message boxes as modal dialogs. The address carries the selection
// (#/Network%20Adapter/2), so that a link, a reload and the browser's back and
// forward buttons restore it. Every text from the control, the server or the
// address is set with textContent, never parsed as markup.
(() => {
  const TWIPS_PER_PIXEL = 15;
  const TEXT_ALIGN = ['left', 'center', 'right'];
  const PLACE = ['flex-start', 'center', 'flex-end'];
  const MAX_INDEX = 32767;  // the control counts instances in 16 bits
  const MAX_ADDRESS = 300;  // longer addresses name no selection

  const $ = (id) => document.getElementById(id);
  const site = $('site');
  const picker = $('instance');
  const countText = $('count');
  const caption = $('caption');
  const statusLine = $('status');
  const box = $('box');
  const list = $('categories');

  // ---- The page's own texts, in the server's language. ----
  // The document carries the ones needed before the server has answered;
  // /api/state brings the rest.
  const texts = { unreachable: document.body.dataset.unreachable, answered: document.body.dataset.answered };

  // Text `name` with %1, %2, ... replaced by the arguments, in one pass.
  function text(name, ...args) {
    return String(texts[name] ?? name).replace(/%([1-9])/g,
      (whole, digit) => (Number(digit) <= args.length ? String(args[Number(digit) - 1]) : whole));
  }

  // ---- The control's message boxes, one modal dialog at a time. ----
  function showBox(message) {
    return new Promise((resolve) => {
      $('box-title').textContent = String(message.title ?? '');
      $('box-prompt').textContent = String(message.prompt ?? '');
      box.addEventListener('close', () => resolve(), { once: true });
      box.showModal();
      $('box-ok').focus();
    });
  }
  $('box-ok').addEventListener('click', () => box.close('ok'));

  async function showBoxes(messages) {
    for (const message of Array.isArray(messages) ? messages : []) await showBox(message);
  }

  // ---- The grid, drawn at the control's own geometry. ----
  const px = (twips) => `${Number(twips) / TWIPS_PER_PIXEL}px`;

  // 0x00BBGGRR as a CSS colour.
  function colour(bgr) {
    return `rgb(${bgr & 0xff}, ${(bgr >> 8) & 0xff}, ${(bgr >> 16) & 0xff})`;
  }

  // Format codes 0 to 8: left, centre or right (code / 3) by top, centre or
  // bottom (code % 3); anything else is the general alignment.
  function align(cell, code) {
    const known = Number.isInteger(code) && code >= 0 && code <= 8;
    cell.style.justifyContent = known ? PLACE[Math.floor(code / 3)] : 'flex-start';
    cell.style.textAlign = known ? TEXT_ALIGN[Math.floor(code / 3)] : 'left';
    cell.style.alignItems = known ? PLACE[code % 3] : 'center';
  }

  // A cell whose text is cut short shows it whole on hover (its title) and on
  // focus (the style unfolds it), and takes the focus from the keyboard. At
  // phone widths the values wrap instead, and none is cut.
  function markCut(cells) {
    for (const cell of cells.children) {
      const span = cell.firstChild;
      if (span.textContent) cell.title = span.textContent;
      cell.classList.remove('cut');
      cell.removeAttribute('tabindex');
      if (span.scrollWidth > span.clientWidth + 1) {
        cell.classList.add('cut');
        cell.tabIndex = 0;
      }
    }
  }
  const phone = window.matchMedia(getComputedStyle(document.documentElement).getPropertyValue('--phone').trim() || 'not all');
  phone.addEventListener('change', () => {
    const cells = site.querySelector('.cells');
    if (cells) markCut(cells);
  });

  function drawGrid(grid) {
    if (!grid || typeof grid !== 'object') return;
    const rows = Number(grid.rows) || 0;
    const cols = Number(grid.cols) || 0;
    // The control's geometry; at phone widths the style gives the columns
    // shares of the width in the same proportions, and rows their height at least.
    site.style.setProperty('--site-width', px(grid.width ?? 9450));
    site.style.setProperty('--site-height', px(grid.height ?? 4500));
    site.classList.toggle('vscroll', grid.scrollBars === 3);
    site.dataset.scrollBars = String(grid.scrollBars ?? '');

    const cells = document.createElement('div');
    cells.className = 'cells';
    const widths = grid.colWidth || [];
    const heights = grid.rowHeight || [];
    cells.style.setProperty('--columns', widths.map(px).join(' ') || 'none');
    cells.style.setProperty('--rows', heights.map(px).join(' ') || 'none');
    cells.style.setProperty('--column-shares', widths.map((w) => `minmax(0, ${Math.max(Number(w) || 0, 1)}fr)`).join(' ') || 'none');
    cells.style.setProperty('--row-least', heights.map((h) => `minmax(${px(h)}, auto)`).join(' ') || 'none');
    for (let r = 0; r < rows; ++r) {
      for (let c = 0; c < cols; ++c) {
        const cell = document.createElement('div');
        cell.className = r === 0 ? 'cell fixed' : 'cell';
        cell.setAttribute('role', r === 0 ? 'columnheader' : 'gridcell');
        cell.dataset.row = String(r);
        cell.dataset.col = String(c);
        const span = document.createElement('span');
        span.textContent = String(grid.text?.[r]?.[c] ?? '');
        cell.append(span);
        const fill = grid.fill?.[r]?.[c];
        if (Number.isInteger(fill)) cell.style.backgroundColor = colour(fill);
        align(cell, grid.cellFormat?.[r]?.[c] ?? grid.colFormat?.[c] ?? null);
        if (r === grid.row && c === grid.col) {
          cell.classList.add('current');
          cell.setAttribute('aria-selected', 'true');
        }
        cells.append(cell);
      }
    }
    site.replaceChildren(cells);
    markCut(cells);
  }

  // ---- The control's script object. ----
  class ControlError extends Error {
    constructor(number, description) {
      super(`${description} (error ${number})`);
      this.number = number;
      this.description = description;
    }
  }

  async function post(request) {
    const response = await fetch('/api/call', {
      method: 'POST',
      headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify(request),
    });
    const answer = await response.json().catch(() => null);
    if (!response.ok || !answer) {
      throw new Error(answer?.message ?? text('answered', response.status));
    }
    return answer;
  }

  // Calls run one after another, as they would on the control itself.
  let pending = Promise.resolve();
  function serialise(work) {
    const run = pending.then(work, work);
    pending = run.catch(() => {});
    return run;
  }

  // Calls a method by name: the message boxes shown during the call come up one
  // after another, then the grid is redrawn; the result is returned, or the
  // control's error thrown.
  function invoke(method, args) {
    return serialise(async () => {
      const answer = await post({ method, args });
      await showBoxes(answer.messages);
      drawGrid(answer.grid);
      if (answer.error) throw new ControlError(answer.error.number, answer.error.description);
      return answer.result;
    });
  }

  // The instance the control's view shows for nIndex: nIndex - 1 rounded half
  // to even, plus 1.
  function instanceOf(nIndex) {
    const x = Number(nIndex) - 1;
    const r = Math.round(x);
    return (Math.abs(x % 1) === 0.5 && r % 2 !== 0 ? r - 1 : r) + 1;
  }

  // How many instances the grid's category has: the control's count, or for the
  // display, which keeps none (the control returns 0), one when the grid numbers
  // its first row and none when nothing answered, as the terminal reads it.
  function instancesShown(count) {
    if (count > 0) return count;
    const index = site.querySelector('.cell[data-row="1"][data-col="1"]');
    return (index?.textContent ?? '').trim() !== '' ? 1 : 0;
  }

  // Calls SetSelectItem; the page follows every call that succeeds. `history`
  // says what becomes of the address: 'push' a new entry, 'replace' the current
  // one, or 'keep' it (the browser has already moved to it).
  async function select(optionStr, nIndex, history) {
    const count = await invoke('SetSelectItem', [optionStr, nIndex]);
    const name = String(optionStr);
    // A name that is no category runs no collector: the grid keeps its category.
    if (categories.includes(name)) shown(name, instanceOf(nIndex), instancesShown(Number(count) || 0), history);
    else if (chosen) shown(chosen.name, instanceOf(nIndex), chosen.count, history);
    return count;
  }

  const control = {
    SetSelectItem(optionStr, nIndex) {
      return select(optionStr, nIndex, 'push');
    },
  };
  window.control = control;

  // ---- The address. ----
  const addressOf = (name, index) => `#/${encodeURIComponent(name)}/${index}`;

  // What an address names: {name, index}; {} for no selection at all ("", "#",
  // "#/"); null for anything else (no such category, no instance number).
  function parseAddress(hash) {
    if (hash === '' || hash === '#' || hash === '#/') return {};
    if (hash.length > MAX_ADDRESS) return null;
    const parts = /^#\/([^/]+)\/([0-9]{1,5})$/.exec(hash);
    if (!parts) return null;
    let name;
    try {
      name = decodeURIComponent(parts[1]);
    } catch {
      return null;
    }
    const index = Number(parts[2]);
    if (!categories.includes(name) || index < 1 || index > MAX_INDEX) return null;
    return { name, index };
  }

  // An address as quoted in the status line: long ones are cut short.
  function quoted(hash) {
    let shown;
    try {
      shown = decodeURIComponent(hash);
    } catch {
      shown = hash;
    }
    return shown.length <= 80 ? shown : `${shown.slice(0, 80)}...`;
  }

  // ---- Against a baseline (serve --baseline FILE). ----
  // The rows of the instance shown that were added or changed since the
  // baseline are marked, and the category's parts that are gone are listed
  // under the grid, with a legend. The comparison is asked for afresh after
  // every selection; the inventory it draws is the server's, whole.
  let hasBaseline = false;
  let compared = null;  // the last answer of /api/baseline

  function legendItem(kind, label) {
    const item = document.createElement('li');
    item.className = kind;
    item.textContent = label;
    return item;
  }

  // A part gone: what it was known by, else its facts, as "caption: value".
  function partText(part) {
    const known = part && typeof part.identity === 'object' && part.identity ? part.identity : part?.facts ?? {};
    return Object.entries(known).filter(([caption]) => caption !== 'Index')
      .map(([caption, value]) => `${caption}: ${value ?? ''}`).join(', ');
  }

  function markBaseline() {
    const panel = $('baseline');
    if (!hasBaseline || !compared) {
      panel.hidden = true;
      return;
    }
    panel.hidden = false;
    const from = compared.baseline ?? {};
    const unknown = text('baselineUnknown');
    $('baseline-from').textContent = text('baselineFrom', from.source ?? unknown, from.host ?? unknown,
      from.time ?? unknown);
    $('legend').replaceChildren(legendItem('added', text('markAdded')), legendItem('changed', text('markChanged')),
      legendItem('gone', text('markGone')));
    const changes = chosen ? compared.categories?.[chosen.name] : null;
    const mark = chosen ? compared.marks?.[chosen.name]?.[String(chosen.index)] : null;
    for (const cell of site.querySelectorAll('.cell')) {
      cell.classList.remove('mark-added', 'mark-changed');
      delete cell.dataset.mark;
      const row = Number(cell.dataset.row);
      if (!mark || row < 1) continue;
      const captionCell = site.querySelector(`.cell[data-row="${row}"][data-col="0"]`);
      const filled = (captionCell?.textContent ?? '').trim() !== '';
      let kind = null;
      if (mark.state === 'added' && filled) kind = 'added';
      if (mark.state === 'changed' && Array.isArray(mark.rows) && mark.rows.includes(row)) kind = 'changed';
      if (kind) {
        cell.classList.add(`mark-${kind}`);
        cell.dataset.mark = kind;
      }
    }
    const notCompared = $('not-compared');
    const failed = Array.isArray(changes?.failed) && changes.failed.length > 0;
    notCompared.hidden = !failed;
    notCompared.textContent = failed ? text('notCompared', chosen.name) : '';
    const gone = Array.isArray(changes?.removed) ? changes.removed : [];
    $('gone').replaceChildren(...gone.map((part) => {
      const item = document.createElement('li');
      item.textContent = `${text('markGone')}: ${chosen.name} ${part.index ?? ''} (${partText(part)})`;
      return item;
    }));
  }

  async function compareWithBaseline() {
    if (!hasBaseline) return;
    try {
      const response = await fetch('/api/baseline');
      if (!response.ok) return;
      compared = await response.json();
    } catch {
      return;
    }
    markBaseline();
  }

  // ---- The details of the instance shown, under the grid. ----
  // Asked for afresh after every selection; an answer that comes after another
  // selection is dropped. A category without details shows no section; an
  // instance the machine tells none of shows "none".
  let detailsAsked = 0;
  let detailsLoaded = Promise.resolve();

  function drawDetails(lines) {
    const known = lines.some((line) => typeof line?.value === 'string');
    const items = known ? lines.flatMap((line) => {
      const term = document.createElement('dt');
      term.textContent = String(line?.caption ?? '');
      const value = document.createElement('dd');
      const told = typeof line?.value === 'string';
      value.textContent = told ? line.value : text('unknown');
      if (!told) value.className = 'unknown';
      return [term, value];
    }) : [];
    $('details-list').replaceChildren(...items);
    $('details-list').hidden = !known;
    $('details-none').hidden = known;
    $('details').hidden = lines.length === 0;
  }

  async function loadDetails(name, index) {
    const asked = ++detailsAsked;
    let lines = [];
    try {
      const query = new URLSearchParams({ category: name, instance: String(index) });
      const response = await fetch(`/api/details?${query}`);
      const answer = response.ok ? await response.json() : null;
      if (Array.isArray(answer?.details)) lines = answer.details;
    } catch {
      // No details to show.
    }
    if (asked === detailsAsked) drawDetails(lines);
  }

  function askDetails(name, index, count) {
    if (count > 0) {
      detailsLoaded = loadDetails(name, index);
    } else {
      ++detailsAsked;
      drawDetails([]);
      detailsLoaded = Promise.resolve();
    }
  }

  // ---- The page around it. ----
  let categories = [];
  let chosen = null;  // {name, index, count}: what the grid shows
  let startupGrid = null;

  function setBusy(busy) {
    document.body.dataset.state = busy ? 'busy' : 'idle';
    document.body.setAttribute('aria-busy', busy ? 'true' : 'false');
  }

  function say(message, failed = false) {
    statusLine.textContent = message;
    statusLine.classList.toggle('failed', failed);
  }

  function fillPicker(count, selected) {
    const options = [];
    for (let i = 1; i <= count; ++i) {
      const option = document.createElement('option');
      option.value = String(i);
      option.textContent = String(i);
      option.selected = i === selected;
      options.push(option);
    }
    picker.replaceChildren(...options);
    picker.disabled = count < 1;
    countText.textContent = count < 1 ? text('none') : text('of', count);
  }

  // One button of the list takes the focus from Tab: the pressed one, else the
  // first; the arrow keys move along the list.
  function roving(target) {
    for (const button of list.querySelectorAll('button')) button.tabIndex = button === target ? 0 : -1;
  }

  function pressed(name) {
    let current = list.querySelector('button');
    for (const button of list.querySelectorAll('button')) {
      const on = button.dataset.category === name;
      button.setAttribute('aria-pressed', on ? 'true' : 'false');
      if (on) current = button;
    }
    roving(current);
  }

  function shown(name, index, count, history) {
    chosen = { name, index, count };
    caption.textContent = name;
    pressed(name);
    fillPicker(count, index);
    say(count > 0 ? text('shown', name, index, count) : text('shownNone', name));
    askDetails(name, index, count);
    markBaseline();
    compareWithBaseline();
    const address = addressOf(name, index);
    if (location.hash === address || history === 'keep') return;
    if (history === 'push') window.history.pushState(null, '', address);
    else window.history.replaceState(null, '', address);
  }

  // Nothing chosen: the grid as the control started, and no category pressed.
  function choice(message = '', failed = false) {
    chosen = null;
    caption.textContent = text('choose');
    pressed(null);
    fillPicker(0, 0);
    countText.textContent = '';
    drawGrid(startupGrid);
    askDetails('', 0, 0);
    markBaseline();
    say(message, failed);
  }

  async function show(name, index, history = 'push') {
    setBusy(true);
    try {
      await select(name, index, history);
      await detailsLoaded;
      return true;
    } catch (e) {
      say(text('callFailed', name, index, e.message), true);
      return false;
    } finally {
      setBusy(false);
    }
  }

  // Shows what the address names; false when it names nothing to show.
  async function follow(hash, history) {
    const wanted = parseAddress(hash);
    if (wanted === null) {
      choice(text('badAddress', quoted(hash)), true);
    } else if (!wanted.name) {
      choice();
    } else if (!(await show(wanted.name, wanted.index, history))) {
      const failure = statusLine.textContent;
      choice(failure, true);
    }
  }

  function fillCategories(names) {
    categories = Array.isArray(names) ? names.filter((n) => typeof n === 'string').slice(0, 64) : [];
    const items = categories.map((name) => {
      const item = document.createElement('li');
      const button = document.createElement('button');
      button.type = 'button';
      button.dataset.category = name;
      button.setAttribute('aria-pressed', 'false');
      button.textContent = name;
      button.addEventListener('click', () => show(name, 1));
      item.append(button);
      return item;
    });
    list.replaceChildren(...items);
    pressed(null);
  }

  // Up, Down, Home and End move along the categories; Tab leaves the list.
  list.addEventListener('keydown', (event) => {
    const buttons = [...list.querySelectorAll('button')];
    const at = buttons.indexOf(document.activeElement);
    if (at < 0) return;
    const to = { ArrowDown: at + 1, ArrowUp: at - 1, Home: 0, End: buttons.length - 1 }[event.key];
    if (to === undefined) return;
    event.preventDefault();
    const target = buttons[Math.max(0, Math.min(buttons.length - 1, to))];
    roving(target);
    target.focus();
  });

  picker.addEventListener('change', () => {
    if (chosen) show(chosen.name, Number(picker.value));
  });

  // The browser's back and forward buttons, and an address typed in.
  window.addEventListener('popstate', () => {
    if (chosen && location.hash === addressOf(chosen.name, chosen.index)) return;
    follow(location.hash, 'keep');
  });

  // Start-up: the control's own boxes and error; then what the address names,
  // else what the grid shows now.
  async function start() {
    setBusy(true);
    try {
      const response = await fetch('/api/state');
      if (!response.ok) throw new Error(text('answered', response.status));
      const state = await response.json();
      if (state.texts && typeof state.texts === 'object') Object.assign(texts, state.texts);
      fillCategories(state.categories);
      hasBaseline = state.baseline === true;
      startupGrid = state.grid;
      await showBoxes(state.messages);
      drawGrid(state.currentGrid ?? state.grid);
      if (state.error) {
        say(text('startFailed', `${state.error.description} (error ${state.error.number})`), true);
        return;
      }
      const selection = state.selection;
      if (location.hash) {
        await follow(location.hash, 'replace');
      } else if (selection && categories.includes(selection.category)) {
        shown(selection.category, Number(selection.index), instancesShown(Number(selection.count) || 0), 'replace');
      } else {
        say('');
      }
      await detailsLoaded;
    } catch (e) {
      say(text('unreachable', e.message), true);
    } finally {
      setBusy(false);
    }
  }
  fillPicker(0, 0);
  countText.textContent = '';
  start();
})();
