// The page's document and icon. The script and the style have files of their own.
#include "containers/web/PageAssets.h"

namespace brv::web {

const std::string_view kPageHtml = R"page(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Parts Information</title>
<link rel="icon" href="/favicon.svg" type="image/svg+xml">
<link rel="stylesheet" href="/app.css">
<script src="/app.js" defer></script>
</head>
<body data-state="busy">
<header class="bar">
  <img class="logo" src="/favicon.svg" alt="" width="28" height="28">
  <div>
    <h1>Parts Information</h1>
    <p class="tagline">The hardware parts of this machine, one category at a time</p>
  </div>
</header>
<main class="layout">
  <nav class="panel categories" aria-label="Categories">
    <h2>Category</h2>
    <ul id="categories"></ul>
  </nav>
  <section class="panel viewer" aria-labelledby="caption">
    <div class="toolbar">
      <h2 id="caption">Choose a category</h2>
      <label class="picker">Instance
        <select id="instance" disabled></select>
        <span id="count" class="count"></span>
      </label>
    </div>
    <div class="frame"><div id="site" class="site" role="grid" aria-label="Item and value"></div></div>
    <p id="status" class="status" role="status" aria-live="polite"></p>
  </section>
</main>
<dialog id="box" class="box" aria-labelledby="box-title" aria-describedby="box-prompt">
  <div class="box-title" id="box-title"></div>
  <div class="box-body">
    <svg class="box-icon" viewBox="0 0 24 24" aria-hidden="true"><circle cx="12" cy="12" r="11"/><path d="M12 6.5v7"/><circle class="dot" cx="12" cy="17.2" r="1.3"/></svg>
    <p id="box-prompt"></p>
  </div>
  <div class="box-buttons"><button type="button" id="box-ok">OK</button></div>
</dialog>
</body>
</html>
)page";

const std::string_view kPageIcon = R"page(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 32 32">
<rect x="7" y="7" width="18" height="18" rx="3" fill="#2f5fb3"/>
<rect x="11" y="11" width="10" height="10" rx="1.5" fill="#cdd4e6"/>
<g stroke="#2f5fb3" stroke-width="2" stroke-linecap="round">
<path d="M11 3v4M16 3v4M21 3v4M11 25v4M16 25v4M21 25v4M3 11h4M3 16h4M3 21h4M25 11h4M25 16h4M25 21h4"/>
</g>
</svg>
)page";

}  // namespace brv::web
