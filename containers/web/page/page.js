'use strict';
(() => {
  const CATEGORIES = ['CPU', 'Memory', 'Display', 'HDD', 'CD,DVD', 'Modem', 'Bluetooth',
    'Battery Pack', 'Docking Station', 'Network Adapter', 'External Monitor'];
  const TWIPS_PER_PIXEL = 15;
  const TEXT_ALIGN = ['left', 'center', 'right'];
  const PLACE = ['flex-start', 'center', 'flex-end'];

  const $ = (id) => document.getElementById(id);
  const site = $('site');
  const picker = $('instance');
  const countText = $('count');
  const caption = $('caption');
  const statusLine = $('status');
  const box = $('box');

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

  function drawGrid(grid) {
    if (!grid || typeof grid !== 'object') return;
    const rows = Number(grid.rows) || 0;
    const cols = Number(grid.cols) || 0;
    site.style.width = px(grid.width ?? 9450);
    site.style.height = px(grid.height ?? 4500);
    site.classList.toggle('vscroll', grid.scrollBars === 3);
    site.dataset.scrollBars = String(grid.scrollBars ?? '');

    const cells = document.createElement('div');
    cells.className = 'cells';
    cells.style.gridTemplateColumns = (grid.colWidth || []).map(px).join(' ');
    cells.style.gridTemplateRows = (grid.rowHeight || []).map(px).join(' ');
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
      throw new Error(answer?.message ?? `The server answered ${response.status}.`);
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

  // The page follows every call that succeeds, the console's included.
  const control = {
    async SetSelectItem(optionStr, nIndex) {
      const count = await invoke('SetSelectItem', [optionStr, nIndex]);
      shown(String(optionStr), Number(nIndex), Number(count) || 0);
      return count;
    },
  };
  window.control = control;

  // ---- The page around it. ----
  let chosen = null;

  function setBusy(busy) {
    document.body.dataset.state = busy ? 'busy' : 'idle';
    document.body.setAttribute('aria-busy', busy ? 'true' : 'false');
  }

  function say(text, failed = false) {
    statusLine.textContent = text;
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
    countText.textContent = count < 1 ? 'none counted' : `of ${count}`;
  }

  function shown(name, index, count) {
    chosen = name;
    caption.textContent = name;
    for (const button of document.querySelectorAll('#categories button')) {
      button.setAttribute('aria-pressed', button.dataset.category === name ? 'true' : 'false');
    }
    fillPicker(count, index);
    say(count > 0 ? `${name}: instance ${index} of ${count}` : `${name}: no instances counted`);
  }

  async function show(name, index) {
    setBusy(true);
    try {
      await control.SetSelectItem(name, index);
    } catch (e) {
      say(`SetSelectItem("${name}", ${index}) failed: ${e.message}`, true);
    } finally {
      setBusy(false);
    }
  }

  const list = $('categories');
  for (const name of CATEGORIES) {
    const item = document.createElement('li');
    const button = document.createElement('button');
    button.type = 'button';
    button.dataset.category = name;
    button.setAttribute('aria-pressed', 'false');
    button.textContent = name;
    button.addEventListener('click', () => show(name, 1));
    item.append(button);
    list.append(item);
  }

  picker.addEventListener('change', () => {
    if (chosen) show(chosen, Number(picker.value));
  });

  // Start-up: the control's own boxes and error, then the grid as it stands now.
  async function start() {
    setBusy(true);
    try {
      const response = await fetch('/api/state');
      if (!response.ok) throw new Error(`The server answered ${response.status}.`);
      const state = await response.json();
      await showBoxes(state.messages);
      drawGrid(state.currentGrid ?? state.grid);
      if (state.error) {
        say(`The control failed to start: ${state.error.description} (error ${state.error.number})`, true);
      } else {
        say('Choose a category.');
      }
    } catch (e) {
      say(`The control cannot be reached: ${e.message}`, true);
    } finally {
      setBusy(false);
    }
  }
  fillPicker(0, 0);
  countText.textContent = '';
  start();
})();
