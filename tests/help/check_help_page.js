// Opens the help page in headless Chromium and checks it as a reader's browser
// shows it: no console errors or script exceptions, no request that leaves the
// page's own file (the page must be self-contained), every in-page link leads to
// an element of the page, every section of the contents renders, and the bounds
// table says what cleaning does. Saves a
// screenshot of the first screen and one of the whole page.
//
// Chromium is driven through the DevTools protocol over a pipe
// (--remote-debugging-pipe: commands on fd 3, replies on fd 4), so no port is
// opened and no extra package is needed.
//
// Usage: node check_help_page.js PAGE.html SCREENSHOT.png CHROMIUM
"use strict";

const { spawn } = require("node:child_process");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const { pathToFileURL } = require("node:url");

const [pagePath, screenshotPath, chromium] = process.argv.slice(2);
const kTimeoutMs = 60000;
const kViewport = { width: 1280, height: 900 };

const pageUrl = pathToFileURL(path.resolve(pagePath)).href;
const profile = fs.mkdtempSync(path.join(os.tmpdir(), "orbiculon-help-"));
const browser = spawn(
  chromium,
  [
    "--headless",
    "--no-sandbox",
    "--disable-gpu",
    "--disable-quic",
    "--no-first-run",
    "--disable-background-networking",
    "--disable-component-update",
    "--disable-sync",
    "--disable-extensions",
    "--hide-scrollbars",
    `--user-data-dir=${profile}`,
    "--remote-debugging-pipe",
    `--window-size=${kViewport.width},${kViewport.height}`,
    "about:blank",
  ],
  { stdio: ["ignore", "ignore", "pipe", "pipe", "pipe"] }
);
let browserLog = "";
browser.stderr.on("data", (chunk) => {
  browserLog += chunk;
});

// --- the protocol: JSON messages separated by NUL bytes ---
let nextId = 1;
const waiting = new Map();
const listeners = [];
let pending = "";
browser.stdio[4].on("data", (chunk) => {
  pending += chunk.toString("utf8");
  let end;
  while ((end = pending.indexOf("\0")) >= 0) {
    const message = JSON.parse(pending.slice(0, end));
    pending = pending.slice(end + 1);
    if (message.id !== undefined && waiting.has(message.id)) {
      const { resolve, reject } = waiting.get(message.id);
      waiting.delete(message.id);
      if (message.error) reject(new Error(JSON.stringify(message.error)));
      else resolve(message.result);
    } else if (message.method) {
      for (const listener of listeners) listener(message);
    }
  }
});

function send(method, params = {}, sessionId = undefined) {
  const id = nextId++;
  const message = { id, method, params };
  if (sessionId) message.sessionId = sessionId;
  browser.stdio[3].write(JSON.stringify(message) + "\0");
  return new Promise((resolve, reject) => waiting.set(id, { resolve, reject }));
}

function waitForEvent(method, sessionId) {
  return new Promise((resolve) => {
    listeners.push(function listener(message) {
      if (message.method === method && message.sessionId === sessionId) {
        listeners.splice(listeners.indexOf(listener), 1);
        resolve(message.params);
      }
    });
  });
}

// What the page itself reports about its links, ids and bounds table.
function inspectPage() {
  const problems = [];
  const links = Array.from(document.querySelectorAll("a[href]"));
  for (const link of links) {
    const href = link.getAttribute("href");
    if (!href.startsWith("#")) {
      problems.push("link leaves the page: " + href);
      continue;
    }
    const id = decodeURIComponent(href.slice(1));
    if (id === "" || document.getElementById(id) === null) problems.push("link to a missing anchor: " + href);
  }
  // Every section the contents list names is shown, with some height.
  for (const link of document.querySelectorAll("nav a[href^='#']")) {
    const section = document.getElementById(decodeURIComponent(link.getAttribute("href").slice(1)));
    if (section !== null && section.getBoundingClientRect().height < 40)
      problems.push("section does not render: " + link.getAttribute("href"));
  }
  const ids = Array.from(document.querySelectorAll("[id]"), (e) => e.id);
  for (const id of new Set(ids)) {
    if (ids.indexOf(id) !== ids.lastIndexOf(id)) problems.push("id used twice: " + id);
  }
  for (const e of document.querySelectorAll("[src], link[href], object, embed, iframe")) {
    problems.push("external resource: " + e.outerHTML.slice(0, 80));
  }
  const rows = Array.from(document.querySelectorAll("#bounds-table tbody tr"), (row) =>
    Array.from(row.cells, (cell) => cell.textContent.trim()).join(" ")
  );
  return {
    title: document.title,
    links: links.length,
    problems,
    boundsRows: rows,
    height: document.documentElement.scrollHeight,
  };
}

async function main() {
  const errors = [];
  const { targetId } = await send("Target.createTarget", { url: "about:blank" });
  const { sessionId } = await send("Target.attachToTarget", { targetId, flatten: true });

  listeners.push((message) => {
    if (message.sessionId !== sessionId) return;
    const p = message.params;
    if (message.method === "Runtime.consoleAPICalled" && (p.type === "error" || p.type === "assert")) {
      errors.push("console." + p.type + ": " + p.args.map((a) => a.value ?? a.description).join(" "));
    } else if (message.method === "Runtime.exceptionThrown") {
      errors.push("exception: " + (p.exceptionDetails.exception?.description ?? p.exceptionDetails.text));
    } else if (message.method === "Log.entryAdded" && p.entry.level === "error") {
      errors.push("log error: " + p.entry.text + (p.entry.url ? " (" + p.entry.url + ")" : ""));
    } else if (message.method === "Network.requestWillBeSent") {
      const url = p.request.url;
      if (url !== pageUrl && !url.startsWith("data:") && !url.startsWith("about:"))
        errors.push("request outside the page: " + url);
    } else if (message.method === "Network.loadingFailed") {
      errors.push("loading failed: " + p.errorText);
    }
  });
  await send("Runtime.enable", {}, sessionId);
  await send("Log.enable", {}, sessionId);
  await send("Network.enable", {}, sessionId);
  await send("Page.enable", {}, sessionId);
  await send(
    "Emulation.setDeviceMetricsOverride",
    { width: kViewport.width, height: kViewport.height, deviceScaleFactor: 1, mobile: false },
    sessionId
  );

  const loaded = waitForEvent("Page.loadEventFired", sessionId);
  const navigation = await send("Page.navigate", { url: pageUrl }, sessionId);
  if (navigation.errorText) errors.push("navigation failed: " + navigation.errorText);
  await loaded;
  // Let late console messages arrive.
  await new Promise((resolve) => setTimeout(resolve, 300));

  const evaluation = await send(
    "Runtime.evaluate",
    { expression: "(" + inspectPage.toString() + ")()", returnByValue: true },
    sessionId
  );
  const report = evaluation.result.value;
  errors.push(...report.problems);
  if (!report.title) errors.push("the page has no title");
  if (report.links === 0) errors.push("the page has no in-page links");
  const expectedBounds = ["TAL -69 69 -102 71 -43 76", "MNI -74 75 -108 71 -52 79"];
  if (JSON.stringify(report.boundsRows) !== JSON.stringify(expectedBounds))
    errors.push("bounds table reads " + JSON.stringify(report.boundsRows));

  const first = await send("Page.captureScreenshot", { format: "png" }, sessionId);
  fs.writeFileSync(screenshotPath, Buffer.from(first.data, "base64"));
  const whole = await send(
    "Page.captureScreenshot",
    {
      format: "png",
      captureBeyondViewport: true,
      clip: { x: 0, y: 0, width: kViewport.width, height: report.height, scale: 1 },
    },
    sessionId
  );
  const wholePath = screenshotPath.replace(/\.png$/, "") + "_full.png";
  fs.writeFileSync(wholePath, Buffer.from(whole.data, "base64"));

  console.log(`page: ${pageUrl}`);
  console.log(`title: ${report.title}`);
  console.log(`in-page links checked: ${report.links}`);
  console.log(`screenshots: ${screenshotPath}, ${wholePath}`);
  for (const error of errors) console.log("not ok - " + error);
  return errors.length;
}

// Chromium's helper processes may still write into the profile for a moment after
// the browser is killed, so the folder is removed after the browser exited, with
// retries; a folder left behind in the temp folder is no failure of the page.
function removeProfile() {
  try {
    fs.rmSync(profile, { recursive: true, force: true, maxRetries: 10, retryDelay: 200 });
  } catch (error) {
    console.log(`note: the browser profile ${profile} was left behind: ${error.message}`);
  }
}

function finish(code) {
  const done = () => {
    removeProfile();
    process.exit(code);
  };
  if (browser.exitCode !== null || browser.signalCode !== null) return done();
  browser.once("exit", done);
  browser.kill("SIGKILL");
}

const timer = setTimeout(() => {
  console.log(`not ok - no answer from ${chromium} within ${kTimeoutMs / 1000} s`);
  console.log(browserLog.slice(-2000));
  finish(1);
}, kTimeoutMs);

browser.on("error", (error) => {
  console.log(`not ok - cannot start ${chromium}: ${error.message}`);
  finish(1);
});

main().then(
  (failures) => {
    clearTimeout(timer);
    console.log(failures === 0 ? "1 passed, 0 failed" : "0 passed, 1 failed");
    finish(failures === 0 ? 0 : 1);
  },
  (error) => {
    clearTimeout(timer);
    console.log("not ok - " + error.message);
    console.log(browserLog.slice(-2000));
    finish(1);
  }
);
