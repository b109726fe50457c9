// The web page: one HTML file with its style and script, served as it is. No external fonts,
// scripts or images: a recorder PC is often offline. Every text from a till reaches the page
// through textContent, never as markup.
#include "web/web_routes.h"

namespace zamri {

namespace {

const char kPage[] = R"PAGE(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>zamri</title>
<style>
*{box-sizing:border-box}
body{margin:0;font:15px/1.35 system-ui,-apple-system,"Segoe UI",Roboto,sans-serif;background:#eef0f3;color:#1d2430}
header{display:flex;flex-wrap:wrap;align-items:center;gap:.4em 1.2em;padding:.5em 1em;background:#1d2a3a;color:#fff}
header h1{font-size:1.15em;margin:0;letter-spacing:.04em}
nav a{color:#cfe0ff;text-decoration:none;padding:.3em .7em;border-radius:4px}
nav a.on{background:#3b5b86;color:#fff}
#conn{margin-left:auto;font-size:.85em;color:#b8c7dc}
#conn.bad{color:#ffb0a8}
main{padding:.8em}
.bar{display:flex;flex-wrap:wrap;align-items:center;gap:.5em 1em;margin-bottom:.7em}
button,select,input{font:inherit;padding:.3em .6em;border:1px solid #9aa6b6;border-radius:4px;background:#fff}
button{cursor:pointer}
button.on{background:#ffe8a3}
#notice{color:#9a3b00;font-size:.9em}
#refused{margin-left:auto;font-size:.8em;padding:.1em .6em;border-radius:9px;background:#ffd5cf;color:#7a1308}
#panels{display:grid;grid-template-columns:repeat(auto-fill,minmax(310px,1fr));gap:.8em}
.panel{background:#fff;border:1px solid #c9d0da;border-radius:6px;display:flex;flex-direction:column;min-height:12em;max-height:70vh}
.panel>h2{display:flex;flex-wrap:wrap;align-items:baseline;gap:.2em .6em;margin:0;padding:.45em .7em;font-size:1em;border-bottom:1px solid #dde2e8;background:#f6f8fa;border-radius:6px 6px 0 0}
.src{font-weight:normal;color:#556;font-size:.85em}
.state{margin-left:auto;font-weight:normal;font-size:.8em;padding:.05em .5em;border-radius:9px;background:#e3e7ec;color:#334}
.state.receiving{background:#cdeccd;color:#145214}
.state.failing,.state.refused{background:#ffd5cf;color:#7a1308}
.lines{overflow-y:auto;padding:.4em .6em;flex:1}
.receipt{border-left:3px solid #8fa6c4;margin:.35em 0 .6em;padding:.1em 0 .1em .5em}
.receipt.closed{border-left-color:#c3ccd8}
.rtime{font-size:.75em;color:#667;margin-bottom:.1em}
.line{font-family:ui-monospace,"DejaVu Sans Mono",Consolas,monospace;font-size:.88em;white-space:pre-wrap;word-break:break-word;min-height:1.2em}
.line.imp{background:#fff1a8;font-weight:bold;box-shadow:inset 3px 0 #e0a800}
.line.exc{background:#ffd9d6;color:#8a1100;font-weight:bold;box-shadow:inset 3px 0 #d22}
.line.end::after{content:"end of receipt";display:block;margin-top:.15em;padding-top:.1em;border-top:1px dashed #9aa6b6;font:italic .8em system-ui,sans-serif;color:#778}
.skip{color:#9a3b00;font-size:.8em;font-style:italic;margin:.3em 0}
.hidden{display:none!important}
form{display:grid;grid-template-columns:repeat(auto-fill,minmax(200px,1fr));gap:.6em;align-items:end;background:#fff;padding:.8em;border:1px solid #c9d0da;border-radius:6px}
form label{display:flex;flex-direction:column;font-size:.85em;color:#445;gap:.2em}
.result{background:#fff;border:1px solid #c9d0da;border-radius:6px;margin:.7em 0;padding:.5em .8em}
.result h3{margin:0 0 .3em;font-size:.95em}
.result h3 .when{font-family:ui-monospace,Consolas,monospace;background:#e8eef7;padding:0 .35em;border-radius:3px}
.result .rsrc{margin-left:.6em;font-weight:normal;color:#667;font-size:.85em}
.result .lt{color:#889;font-size:.85em;margin-right:.8em;user-select:none}
.line.hit{outline:2px solid #4a7fd4;outline-offset:-1px;background:#e7f0ff}
.pager{display:flex;gap:.8em;align-items:center;margin:.6em 0}
table{border-collapse:collapse;background:#fff;margin-bottom:1em;min-width:50%}
td,th{border:1px solid #d3d9e1;padding:.3em .6em;text-align:left;font-size:.9em}
th{background:#f3f5f8}
#st-warning{background:#ffd5cf;color:#7a1308;border:1px solid #e59a8f;border-radius:6px;padding:.6em .8em;font-weight:bold}
.subs{display:flex;flex-wrap:wrap;align-items:center;gap:.3em .7em;font-size:.85em;color:#445;margin:.3em 0}
.subs input{font-size:.9em;padding:.1em .3em}
.subs a{color:#2456a4}
#x-list tr.exc-row td{vertical-align:top}
#x-list td.amt{text-align:right;font-family:ui-monospace,Consolas,monospace}
#x-list td.ln{font-family:ui-monospace,Consolas,monospace;white-space:pre-wrap}
#x-list tr.open td{background:#fff7e0}
#x-list td.detail{background:#f6f8fa;padding:.4em}
#r-tables td.num{text-align:right;font-family:ui-monospace,Consolas,monospace}
.note{color:#9a3b00;font-size:.9em}
#errors li{font-family:ui-monospace,Consolas,monospace;font-size:.85em}
@media (max-width:500px){main{padding:.4em}.panel{max-height:none}}
</style>
</head>
<body>
<header><h1>zamri</h1>
<nav><a href="#live" id="tab-live">Live</a><a href="#search" id="tab-search">Search</a><a href="#exceptions" id="tab-exceptions">Exceptions</a><a href="#report" id="tab-report">Report</a><a href="#rules" id="tab-rules">Rules</a><a href="#status" id="tab-status">Status</a></nav>
<span id="conn">connecting</span></header>
<main>
<section id="live">
<div class="bar"><button id="pause" type="button">Pause</button>
<label>Camera <select id="filter"><option value="">all cameras</option></select></label>
<span id="notice"></span><span id="refused" class="hidden"></span></div>
<p id="empty">No camera has sent a line since the program started.</p>
<div id="panels"></div>
</section>
<section id="search" class="hidden">
<form id="form">
<label>Text<input name="text" id="q-text" maxlength="200" placeholder="any line"></label>
<label>Camera<select name="camera" id="q-camera"><option value="">all cameras</option></select></label>
<label>From<input name="from" id="q-from" type="datetime-local"></label>
<label>To<input name="to" id="q-to" type="datetime-local"></label>
<button type="submit" id="q-go">Search</button>
</form>
<p id="q-info"></p>
<div id="q-subs" class="subs"></div>
<div id="results"></div>
<div class="pager"><button type="button" id="newer">Newer</button><span id="pageno"></span><button type="button" id="older">Older</button></div>
</section>
<section id="exceptions" class="hidden">
<form id="x-form">
<label>Kind<select name="kind" id="x-kind" class="kinds"><option value="">every kind</option></select></label>
<label>Camera<select name="camera" id="x-camera"><option value="">all cameras</option></select></label>
<label>Cashier<input name="cashier" id="x-cashier" maxlength="40" placeholder="every cashier"></label>
<label>From<input name="from" id="x-from" type="datetime-local"></label>
<label>To<input name="to" id="x-to" type="datetime-local"></label>
<button type="submit" id="x-go">Show exceptions</button>
</form>
<p id="x-info"></p>
<div id="x-subs" class="subs"></div>
<table id="x-list"></table>
</section>
<section id="report" class="hidden">
<form id="r-form">
<label>Kind<select name="kind" id="r-kind" class="kinds"><option value="">every kind</option></select></label>
<label>Camera<select name="camera" id="r-camera"><option value="">all cameras</option></select></label>
<label>Cashier<input name="cashier" id="r-cashier" maxlength="40" placeholder="every cashier"></label>
<label>From<input name="from" id="r-from" type="datetime-local"></label>
<label>To<input name="to" id="r-to" type="datetime-local"></label>
<button type="submit" id="r-go">Make report</button>
</form>
<p id="r-info"></p>
<p><a id="r-csv" class="hidden" download="exceptions-report.csv">Download CSV</a></p>
<div id="r-tables"></div>
</section>
<section id="rules" class="hidden">
<h2>Built-in kinds</h2><table id="ru-kinds"></table><p id="ru-grace"></p>
<h2>Receipts read on</h2><table id="ru-chans"></table>
<h2>User rules</h2><table id="ru-rules"></table>
<h2>Left out</h2><ul id="ru-left"></ul>
</section>
<section id="status" class="hidden">
<p id="st-warning" class="hidden"></p>
<table id="st-main"></table>
<h2>Cameras</h2><table id="st-cams"></table>
<h2>Last errors</h2><ul id="errors"></ul>
</section>
</main>
<script>
"use strict";
const $ = (id) => document.getElementById(id);
const keep = 80;            // lines kept per panel
const panels = {};
let paused = false, held = [], heldLost = 0, status = null;

function el(tag, cls, text) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
}
function two(n) { return String(n).padStart(2, "0"); }
// The program's local time (the recorder's clock), whatever the browser's zone.
function when(t, off) {
  const d = new Date(t + off * 60000);
  return d.getUTCFullYear() + "-" + two(d.getUTCMonth() + 1) + "-" + two(d.getUTCDate()) + " " +
         two(d.getUTCHours()) + ":" + two(d.getUTCMinutes()) + ":" + two(d.getUTCSeconds());
}
function addOption(select, cam) {
  for (const o of select.options) if (o.value === String(cam)) return;
  const o = el("option", "", "Camera " + cam);
  o.value = cam;
  let before = null;
  for (const x of select.options) if (x.value && +x.value > cam) { before = x; break; }
  select.insertBefore(o, before);
}
function panel(cam) {
  if (panels[cam]) return panels[cam];
  const box = el("div", "panel");
  box.id = "cam-" + cam;
  box.dataset.cam = cam;
  const h = el("h2");
  h.append(el("span", "name", "Camera " + cam));
  const src = el("span", "src"), state = el("span", "state", "idle");
  h.append(src, state);
  const lines = el("div", "lines");
  box.append(h, lines);
  const p = { box, src, state, lines, receipt: null, cam };
  panels[cam] = p;
  let before = null;
  for (const other of $("panels").children) if (+other.dataset.cam > cam) { before = other; break; }
  $("panels").insertBefore(box, before);
  addOption($("filter"), cam);
  $("empty").classList.add("hidden");
  applyFilter();
  return p;
}
function addLine(l) {
  const p = panel(l.cam);
  if (l.src) p.src.textContent = l.src;
  let r = p.receipt;
  // An exception known at the receipt's end is marked in that receipt, though it has closed.
  if (!r || r.dataset.receipt !== String(l.receipt) || (r.classList.contains("closed") && !l.exception)) {
    r = el("div", "receipt");
    r.dataset.receipt = l.receipt;
    r.append(el("div", "rtime", when(l.t, l.off)));
    p.lines.append(r);
    p.receipt = r;
  }
  const d = el("div", "line", l.exception ? "\u26a0 " + l.exception + (l.text ? ": " + l.text.trim() : "") : l.text);
  d.dataset.seq = l.seq;
  d.title = when(l.t, l.off);
  if (l.exception) d.classList.add("exc");
  if (l.flags & 4) d.classList.add("imp");
  if (l.flags & 2) { d.classList.add("end"); r.classList.add("closed"); }
  r.append(d);
  // The oldest lines go one by one, so a receipt that never ends stays on screen.
  let count = p.lines.querySelectorAll(".line").length;
  while (count-- > keep) {
    const old = p.lines.querySelector(".line"), holder = old.parentNode;
    old.remove();
    if (holder !== r && !holder.querySelector(".line")) holder.remove();
  }
  const marks = p.lines.querySelectorAll(".skip");
  for (let i = 0; i + 3 < marks.length; i++) marks[i].remove();
  p.lines.scrollTop = p.lines.scrollHeight;
  p.state.textContent = "receiving";
  p.state.className = "state receiving";
}
function markSkipped(count) {
  $("notice").textContent = count + " line(s) skipped: the page could not keep up.";
  for (const cam in panels) {
    const p = panels[cam];
    p.lines.append(el("div", "skip", "... " + count + " line(s) skipped ..."));
    p.receipt = null;
  }
}
function applyFilter() {
  const only = $("filter").value;
  for (const cam in panels) panels[cam].box.classList.toggle("hidden", only !== "" && only !== String(cam));
}
$("filter").addEventListener("change", applyFilter);
$("pause").addEventListener("click", () => {
  paused = !paused;
  $("pause").classList.toggle("on", paused);
  $("pause").textContent = paused ? "Resume" : "Pause";
  if (!paused) {
    const lines = held; held = [];
    if (heldLost) { markSkipped(heldLost); heldLost = 0; }
    for (const l of lines) addLine(l);
    $("notice").textContent = "";
  }
});

let source = null;
function connect() {
  source = new EventSource("api/live");
  source.onopen = () => { $("conn").textContent = "live"; $("conn").className = ""; };
  source.onerror = () => { $("conn").textContent = "connection lost, retrying"; $("conn").className = "bad"; };
  source.addEventListener("line", (e) => {
    const l = JSON.parse(e.data);
    if (!paused) { addLine(l); return; }
    if (held.length < 5000) held.push(l); else heldLost++;
    $("notice").textContent = "Paused: " + (held.length + heldLost) + " new line(s) waiting.";
  });
  source.addEventListener("skipped", (e) => {
    const s = JSON.parse(e.data);
    if (paused) heldLost += s.count; else markSkipped(s.count);
  });
}

function stateOf(c, now) {
  if (c.disagreement) return [c.disagreement, "failing"];
  if (c.state === "failing")
    return [c.since ? "port failing since " + when(c.since, status.offset).slice(11) : "port failing", "failing"];
  if (c.lastLineMs && now - c.lastLineMs < 10000) return ["receiving", "receiving"];
  if (c.lastLineMs) return ["idle since " + when(c.lastLineMs, status.offset).slice(11), ""];
  return ["idle", ""];
}
function row(table, cells, head) {
  const tr = el("tr");
  for (const c of cells) tr.append(el(head ? "th" : "td", "", c));
  table.append(tr);
}
function showStatus() {
  const s = status, now = s.now;
  for (const c of s.cameras) {
    if (!c.active && !panels[c.camera]) continue;
    const p = panel(c.camera);
    if (c.source) p.src.textContent = c.source;
    const [text, cls] = stateOf(c, now);
    p.state.textContent = text;
    p.state.className = "state " + cls;
  }
  // Refused senders have no camera (they never got past the opening exchange): one notice.
  const refused = s.refused && s.refused.count > 0;
  $("refused").classList.toggle("hidden", !refused);
  if (refused)
    $("refused").textContent = "refused senders: " + s.refused.count + ", last " + s.refused.last + " at " +
                               when(s.refused.t, s.offset).slice(11);
  const main = $("st-main");
  main.textContent = "";
  const up = s.uptimeSeconds;
  row(main, ["Version", s.version]);
  row(main, ["Mode", s.mode]);
  row(main, ["Running for", Math.floor(up / 86400) + "d " + two(Math.floor(up / 3600) % 24) + ":" + two(Math.floor(up / 60) % 60) + ":" + two(up % 60)]);
  row(main, ["Program time", when(now, s.offset)]);
  if (s.refused) row(main, ["Refused senders", refused ? $("refused").textContent.slice(17) : "none"]);
  row(main, ["Journal", s.journal]);
  row(main, ["Export", s.export]);
  if (s.webhooks) row(main, ["Webhooks", s.webhooks]);
  row(main, ["Live view", s.live.streams + " open stream(s), " + s.live.lost + " line(s) lost before the page"]);
  const t = s.turnedAway, away = [];
  if (t.connections) away.push(t.connections + " connection(s) over the limit of one address or of the page");
  if (t.names) away.push(t.names + " request(s) under a name that is not the page's");
  if (t.passwords) away.push(t.passwords + " wrong password(s)" + (t.heldBack ? ", " + t.heldBack + " request(s) held back after them" : ""));
  row(main, ["Turned away", away.length ? away.join("; ") : "none"]);
  $("st-warning").textContent = s.warning.charAt(0).toUpperCase() + s.warning.slice(1);
  $("st-warning").classList.toggle("hidden", !s.warning);
  const cams = $("st-cams");
  cams.textContent = "";
  row(cams, ["Camera", "Source", "State", "Lines today", "Card numbers masked", "Other masks", "Line errors"], true);
  for (const c of s.cameras)
    if (c.active) row(cams, [c.camera, c.source, stateOf(c, now)[0], c.linesToday, c.maskedCards, c.maskedUser,
                             c.lineErrors === undefined ? "" : c.lineErrors]);
  const errors = $("errors");
  errors.textContent = "";
  for (const e of s.errors) errors.append(el("li", "", when(e.t, s.offset) + "  " + e.text));
  if (!s.errors.length) errors.append(el("li", "", "none"));
}
async function poll() {
  try {
    const r = await fetch("api/status", { cache: "no-store" });
    if (r.ok) { status = await r.json(); showStatus(); }
  } catch (e) {}
  setTimeout(poll, 2000);
}

let page = 1;
for (let cam = 1; cam <= 32; cam++)
  for (const id of ["q-camera", "x-camera", "r-camera"]) addOption($(id), cam);
async function search(p) {
  page = p;
  const f = new FormData($("form")), q = new URLSearchParams();
  for (const [k, v] of f) if (v !== "") q.set(k, v);
  q.set("page", page);
  rangeSubtitles($("q-subs"), $("form"));
  $("q-info").textContent = "Searching...";
  $("results").textContent = "";
  let r, data;
  try { r = await fetch("api/search?" + q.toString(), { cache: "no-store" }); data = await r.json(); }
  catch (e) { $("q-info").textContent = "The program did not answer."; return; }
  if (!r.ok) { $("q-info").textContent = data.error || ("Error " + r.status); return; }
  const first = (data.page - 1) * 20 + 1;
  $("q-info").textContent = data.total === 0 ? "No receipt matches." :
    data.results.length === 0 ? "No more receipts (" + data.total + " found)." :
    "Receipts " + first + " to " + (first + data.results.length - 1) + " of " + data.total + ", newest first.";
  if (data.notice) $("q-info").textContent += " " + data.notice;
  for (const res of data.results) $("results").append(receiptBox(res, q));
  $("pageno").textContent = "page " + data.page;
  $("newer").disabled = data.page <= 1;
  $("older").disabled = !data.more;
}
$("form").addEventListener("submit", (e) => { e.preventDefault(); search(1); });
$("newer").addEventListener("click", () => search(page - 1));
$("older").addEventListener("click", () => search(page + 1));
$("newer").disabled = $("older").disabled = true;

// Times as the forms and the routes take them ("2026-12-09T14:30:05"), from one shown as
// "2026-12-09 14:30:05"; a clock time before the start is on the next day.
function bound(shown) { return shown.replace(" ", "T"); }
function endOf(start, clock) {
  let day = start.slice(0, 10);
  if (clock < start.slice(11)) {
    const d = new Date(day + "T00:00:00Z");
    d.setUTCDate(d.getUTCDate() + 1);
    day = d.toISOString().slice(0, 10);
  }
  return day + "T" + clock;
}
// "Subtitles .srt .vtt" for a camera and range, timed from the clip start field.
function subtitleBar(box, cam, from, to) {
  box.textContent = "";
  box.append(el("span", "", "Subtitles for camera " + cam + ", " + from.replace("T", " ") + " to " + to.replace("T", " ")));
  const label = el("label", "", "clip starts ");
  const clip = el("input");
  clip.type = "datetime-local";
  clip.step = 1;
  clip.value = from.length === 16 ? from + ":00" : from;
  clip.className = "clip";
  label.append(clip);
  box.append(label);
  const links = [];
  for (const f of ["srt", "vtt"]) {
    const a = el("a", "sub-" + f, "." + f);
    a.download = "";
    links.push([a, f]);
    box.append(a);
  }
  const update = () => {
    for (const [a, f] of links)
      a.href = "api/subtitles?" + new URLSearchParams({ camera: cam, from: from, to: to, clip: clip.value || from, format: f });
  };
  clip.addEventListener("input", update);
  update();
}
function rangeSubtitles(box, form) {
  const f = new FormData(form);
  const cam = f.get("camera"), from = f.get("from"), to = f.get("to");
  if (cam && from && to) subtitleBar(box, cam, from, to);
  else box.textContent = "Subtitles for a time range: choose a camera, From and To.";
}
function receiptBox(res, q) {
  const box = el("div", "result");
  const h = el("h3");
  h.append(el("span", "when", res.time), document.createTextNode("  Camera " + res.camera),
           el("span", "rsrc", res.source + ", receipt " + res.receipt +
              (res.partial ? " (a part: the receipt is longer)" : "")));
  box.append(h);
  for (const l of res.lines) {
    const d = el("div", "line");
    d.append(el("span", "lt", l.time), document.createTextNode(l.text));
    if (l.flags & 4) d.classList.add("imp");
    if (l.flags & 2) d.classList.add("end");
    if (l.match && q && q.has("text")) d.classList.add("hit");  // with no text, every line matches
    box.append(d);
  }
  const subs = el("div", "subs");
  subtitleBar(subs, res.camera, bound(res.time), endOf(res.time, res.lines[res.lines.length - 1].time));
  box.append(subs);
  return box;
}
function formQuery(form) {
  const q = new URLSearchParams();
  for (const [k, v] of new FormData(form)) if (v !== "") q.set(k, v);
  return q;
}
async function getJson(url) {
  try {
    const r = await fetch(url, { cache: "no-store" });
    const data = await r.json();
    return r.ok ? { data } : { error: data.error || ("Error " + r.status) };
  } catch (e) { return { error: "The program did not answer." }; }
}

async function showExceptions() {
  const q = formQuery($("x-form"));
  rangeSubtitles($("x-subs"), $("x-form"));
  $("x-info").textContent = "Reading the journal...";
  $("x-list").textContent = "";
  const { data, error } = await getJson("api/exceptions?" + q.toString());
  if (error) { $("x-info").textContent = error; return; }
  $("x-info").textContent = data.total === 0 ? "No exception matches." :
    data.more ? "The newest " + data.results.length + " of " + data.total + " exceptions; narrow the filters to see older ones." :
    data.total + " exception(s), newest first.";
  if (data.notice) $("x-info").textContent += " " + data.notice;
  if (!data.results.length) return;
  row($("x-list"), ["Time", "Camera", "Kind", "Amount", "Cashier", "Line", ""], true);
  for (const x of data.results) {
    const tr = el("tr", "exc-row");
    for (const [text, cls] of [[x.time], [x.camera], [x.kind], [x.amount === null ? "" : x.amount.toFixed(2), "amt"],
                               [x.cashier], [x.line, "ln"]])
      tr.append(el("td", cls || "", String(text)));
    const cell = el("td");
    if (x.receipt !== null) {
      const b = el("button", "open-receipt", "Receipt");
      b.type = "button";
      b.addEventListener("click", () => openReceipt(tr, x));
      cell.append(b);
    }
    tr.append(cell);
    $("x-list").append(tr);
  }
}
async function openReceipt(tr, x) {
  const next = tr.nextElementSibling;
  if (next && next.classList.contains("detail-row")) { next.remove(); tr.classList.remove("open"); return; }
  const holder = el("tr", "detail-row"), cell = el("td", "detail", "Reading the journal...");
  cell.colSpan = 7;
  holder.append(cell);
  tr.after(holder);
  tr.classList.add("open");
  const { data, error } = await getJson("api/receipt?" + new URLSearchParams({ camera: x.camera, receipt: x.receipt, at: x.at }));
  cell.textContent = error ? error : data.receipt ? "" : "The journal no longer holds this receipt.";
  if (data && data.receipt) cell.append(receiptBox(data.receipt, null));
}
$("x-form").addEventListener("submit", (e) => { e.preventDefault(); showExceptions(); });

function parseCsv(text) {
  const rows = [];
  let rowNow = [], field = "", quoted = false;
  for (let i = 0; i < text.length; i++) {
    const c = text[i];
    if (quoted) {
      if (c === '"' && text[i + 1] === '"') { field += '"'; i++; }
      else if (c === '"') quoted = false;
      else field += c;
    } else if (c === '"') quoted = true;
    else if (c === ",") { rowNow.push(field); field = ""; }
    else if (c === "\n") { rowNow.push(field); rows.push(rowNow); rowNow = []; field = ""; }
    else if (c !== "\r") field += c;
  }
  if (field !== "" || rowNow.length) { rowNow.push(field); rows.push(rowNow); }
  return rows;
}
async function showReport() {
  const q = formQuery($("r-form"));
  $("r-info").textContent = "Reading the journal...";
  $("r-tables").textContent = "";
  $("r-csv").classList.add("hidden");
  const { data, error } = await getJson("api/report?" + q.toString());
  if (error) { $("r-info").textContent = error; return; }
  $("r-info").textContent = data.title + ": " + data.count + " exception(s).";
  if (data.notice) $("r-info").textContent += " " + data.notice;
  q.set("format", "csv");
  $("r-csv").href = "api/report?" + q.toString();
  $("r-csv").classList.remove("hidden");
  const rows = parseCsv(data.csv), head = rows.shift();
  const titles = { cashier: "By cashier", camera: "By camera", day: "By day", all: "All" };
  let table = null, by = null;
  for (const r of rows) {
    if (r[0] !== by) {
      by = r[0];
      $("r-tables").append(el("h2", "", titles[by] || by));
      table = el("table", "report-" + by);
      row(table, [by === "all" ? "" : by].concat(head.slice(2)), true);
      $("r-tables").append(table);
    }
    const tr = el("tr");
    r.slice(1).forEach((v, i) => tr.append(el("td", i === 0 ? "" : "num", v)));
    table.append(tr);
  }
}
$("r-form").addEventListener("submit", (e) => { e.preventDefault(); showReport(); });

async function showRules() {
  const { data, error } = await getJson("api/rules");
  if (error) return;
  for (const select of document.querySelectorAll("select.kinds")) {
    for (const name of data.kinds.map((k) => k.kind).concat(data.rules.map((r) => r.name))) {
      if ([...select.options].some((o) => o.value === name)) continue;
      const o = el("option", "", name);
      o.value = name;
      select.append(o);
    }
  }
  const kinds = $("ru-kinds");
  kinds.textContent = "";
  row(kinds, ["Kind", "Switch", "Threshold", "Banner"], true);
  for (const k of data.kinds)
    row(kinds, [k.kind, k.on ? "on" : "off", k.threshold === null ? "no amount" : k.threshold === "0.00" ? "every amount" : k.threshold,
                k.banner ? "on" : "off"]);
  $("ru-grace").textContent = "A drawer that opens within " + data.drawerGrace + " s of a receipt belongs to it.";
  const chans = $("ru-chans");
  chans.textContent = "";
  if (data.channels.length) row(chans, ["Channel", "Template"], true);
  else row(chans, ["No channel reads its receipts (Template= in [Channel N]), so no exception is found."]);
  for (const c of data.channels) row(chans, [c.channel, c.template]);
  const rules = $("ru-rules");
  rules.textContent = "";
  if (data.rules.length) row(rules, ["Rule", "Name", "Decided", "Line", "Match", "Hours", "Sequence", "Banner"], true);
  else row(rules, ["No user rule."]);
  for (const r of data.rules)
    row(rules, ["[Rule " + r.number + "]", r.name, r.type === "line" ? "at the line" : r.type === "receipt" ? "at the receipt's end" : "in sequence",
                r.line, r.match, r.hours, r.type === "sequence" ? r.first + ", then " + r.then + " within " + r.within + " s" : "",
                r.banner ? "on" : "off"]);
  const left = $("ru-left");
  left.textContent = "";
  for (const l of data.leftOut) left.append(el("li", "", (l.text.startsWith("[") ? "" : "[" + l.section + "] ") + l.text));
  if (!data.leftOut.length) left.append(el("li", "", "none"));
}

function route() {
  const tab = (location.hash || "#live").slice(1);
  for (const name of ["live", "search", "exceptions", "report", "rules", "status"]) {
    $(name).classList.toggle("hidden", name !== tab);
    $("tab-" + name).classList.toggle("on", name === tab);
  }
}
window.addEventListener("hashchange", route);
route();
connect();
poll();
showRules();
</script>
</body>
</html>
)PAGE";

}  // namespace

const char* WebPageHtml() {
    return kPage;
}

}  // namespace zamri
