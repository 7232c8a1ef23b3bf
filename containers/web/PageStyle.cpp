// The page's style. The grid's site keeps the control's geometry (15 twips to a
// CSS pixel); everything around it is the page's own.
#include "containers/web/PageAssets.h"

namespace brv::web {

const std::string_view kPageStyle = R"page(:root {
  --ink: #1d2433;
  --muted: #5b6478;
  --line: #d5dbe7;
  --accent: #2f5fb3;
  --accent-soft: #e7eefb;
  --page: #f2f4f8;
  --panel: #ffffff;
  --danger: #b3261e;
  font-family: "Segoe UI", system-ui, "Liberation Sans", "DejaVu Sans", Arial, sans-serif;
  color: var(--ink);
  background: var(--page);
}
* { box-sizing: border-box; }
body { margin: 0; min-height: 100vh; }

.bar {
  display: flex; align-items: center; gap: 14px;
  padding: 14px 28px;
  background: linear-gradient(100deg, #1f3f7a, #2f5fb3 60%, #3f74c9);
  color: #fff;
  box-shadow: 0 2px 8px rgba(20, 40, 80, .25);
}
.bar h1 { margin: 0; font-size: 20px; font-weight: 600; letter-spacing: .2px; }
.bar .tagline { margin: 2px 0 0; font-size: 13px; opacity: .85; }
.logo { background: #fff; border-radius: 8px; padding: 3px; }

.layout {
  display: flex; align-items: flex-start; gap: 20px;
  padding: 24px 28px; flex-wrap: wrap; justify-content: center;
}
.panel {
  background: var(--panel);
  border: 1px solid var(--line);
  border-radius: 10px;
  box-shadow: 0 1px 3px rgba(20, 40, 80, .08);
}
.panel h2 { margin: 0; font-size: 15px; font-weight: 600; }

.categories { width: 210px; padding: 14px 10px; }
.categories h2 { padding: 0 8px 8px; color: var(--muted); font-size: 12px; text-transform: uppercase; letter-spacing: .8px; }
.categories ul { list-style: none; margin: 0; padding: 0; }
.categories button {
  display: block; width: 100%;
  margin: 1px 0; padding: 7px 10px;
  border: 0; border-radius: 6px;
  background: transparent; color: var(--ink);
  font: inherit; font-size: 14px; text-align: left; cursor: pointer;
}
.categories button:hover { background: #f0f3f9; }
.categories button:focus-visible { outline: 2px solid var(--accent); outline-offset: 1px; }
.categories button[aria-pressed="true"] {
  background: var(--accent-soft); color: var(--accent); font-weight: 600;
  box-shadow: inset 3px 0 0 var(--accent);
}

.viewer { padding: 16px 20px 12px; }
.toolbar { display: flex; align-items: center; justify-content: space-between; gap: 16px; margin-bottom: 12px; }
.toolbar h2 { font-size: 17px; }
.picker { display: flex; align-items: center; gap: 8px; font-size: 13px; color: var(--muted); }
.picker select {
  min-width: 64px; padding: 4px 6px;
  border: 1px solid var(--line); border-radius: 6px;
  background: #fff; color: var(--ink); font: inherit;
}
.picker select:disabled { background: #f4f5f8; color: #9aa1b1; }
.count { min-width: 84px; }

/* The control's site: its own size, a sunken edge outside it. */
.frame { display: inline-block; border: 1px solid #9aa6bd; box-shadow: inset 0 0 0 1px #fff, 0 1px 2px rgba(20, 40, 80, .12); }
.site {
  position: relative; width: 630px; height: 300px;
  overflow: hidden; background: #fff;
  font-size: 13px; line-height: 1.25;
}
.site.vscroll { overflow-y: scroll; overflow-x: hidden; }
.cells { display: grid; }
.cell {
  display: flex; min-width: 0; padding: 4px 6px;
  border-right: 1px solid #c3c9d6; border-bottom: 1px solid #c3c9d6;
  background: #fff; overflow: hidden; white-space: nowrap;
}
.cell span { overflow: hidden; text-overflow: ellipsis; }
.cell.fixed {
  background: linear-gradient(#f7f8fb, #e4e8f0);
  border-right-color: #aab3c5; border-bottom-color: #9aa6bd;
  font-weight: 600; color: #243049;
}
.cell.current { outline: 1px dotted #1d2433; outline-offset: -3px; }

.status { margin: 10px 0 0; min-height: 18px; font-size: 13px; color: var(--muted); }
.status.failed { color: var(--danger); }
body[data-state="busy"] .viewer { cursor: progress; }

/* The control's message boxes. */
.box {
  padding: 0; min-width: 320px; max-width: 480px;
  border: 1px solid #8d99b3; border-radius: 8px;
  box-shadow: 0 12px 40px rgba(10, 20, 50, .35);
  color: var(--ink);
}
.box::backdrop { background: rgba(20, 30, 50, .35); }
.box-title {
  padding: 9px 14px; background: linear-gradient(#f6f8fc, #e6ebf4);
  border-bottom: 1px solid var(--line);
  font-size: 13px; font-weight: 600; white-space: pre-wrap;
}
.box-body { display: flex; align-items: flex-start; gap: 14px; padding: 18px 18px 8px; }
.box-body p { margin: 3px 0 0; font-size: 14px; white-space: pre-wrap; overflow-wrap: anywhere; }
.box-icon { flex: none; width: 32px; height: 32px; }
.box-icon circle { fill: var(--danger); }
.box-icon path { stroke: #fff; stroke-width: 2.4; stroke-linecap: round; }
.box-icon .dot { fill: #fff; }
.box-buttons { display: flex; justify-content: flex-end; padding: 10px 16px 14px; }
.box-buttons button {
  min-width: 84px; padding: 6px 14px;
  border: 1px solid #2a55a0; border-radius: 6px;
  background: var(--accent); color: #fff; font: inherit; font-size: 14px; cursor: pointer;
}
.box-buttons button:hover { background: #284f96; }
.box-buttons button:focus-visible { outline: 2px solid #9bb8ea; outline-offset: 2px; }
)page";

}  // namespace brv::web
