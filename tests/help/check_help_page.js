// Opens the help page in headless Chromium and checks it as a reader's browser
// shows it: no console errors or script exceptions, no request that leaves the
// page's own file (the page must be self-contained), every in-page link leads to
// an element of the page, every section of the contents renders, and the bounds
// table says what cleaning does. Saves a
// screenshot of the first screen and one of the whole page.
//
// The page's example picture, and pictures the batch tool draws here from a list made
// for the purpose, are checked from their pixels as Chromium renders them: every
// VOI's colour shows in every view, left is left, superior and anterior are up, a
// shift of the list shifts the spheres and nothing else, and an underlay adds grey.
//
// Chromium is driven through the DevTools protocol over a pipe
// (--remote-debugging-pipe: commands on fd 3, replies on fd 4), so no port is
// opened and no extra package is needed.
//
// Usage: node check_help_page.js PAGE.html SCREENSHOT.png CHROMIUM [CERVANT_EXE WORK_DIR]
"use strict";

const { execFileSync, spawn } = require("node:child_process");
const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const { pathToFileURL } = require("node:url");

const [pagePath, screenshotPath, chromium, standinHost, workDir] = process.argv.slice(2);
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


// --- pictures ---

// Renders a picture's SVG text on a canvas and measures each view inside its frame:
// for every colour that is not grey its pixel count and centre, and the number of
// grey pixels (an underlay's). Runs in the page.
async function measurePicture(svgText) {
  const root = new DOMParser().parseFromString(svgText, "image/svg+xml").documentElement;
  const width = Number(root.getAttribute("width"));
  const height = Number(root.getAttribute("height"));
  const image = new Image();
  image.src = "data:image/svg+xml;base64," + btoa(unescape(encodeURIComponent(svgText)));
  await image.decode();
  const canvas = document.createElement("canvas");
  canvas.width = width;
  canvas.height = height;
  const context = canvas.getContext("2d");
  context.drawImage(image, 0, 0, width, height);
  const pixels = context.getImageData(0, 0, width, height).data;
  const views = {};
  for (const group of root.querySelectorAll("g.view")) {
    const [x, y, w, h] = ["x", "y", "width", "height"].map((a) => Number(group.querySelector("rect.frame").getAttribute(a)));
    const colours = {};
    let grey = 0;
    for (let row = Math.ceil(y) + 2; row < y + h - 2; ++row) {
      for (let column = Math.ceil(x) + 2; column < x + w - 2; ++column) {
        const at = 4 * (row * width + column);
        const [r, g, b] = [pixels[at], pixels[at + 1], pixels[at + 2]];
        if (r === g && g === b) {
          if (r >= 60 && r <= 240) ++grey;
          continue;
        }
        const colour = (colours[`${r},${g},${b}`] ??= { count: 0, x: 0, y: 0 });
        colour.count += 1;
        colour.x += column;
        colour.y += row;
      }
    }
    for (const colour of Object.values(colours)) {
      colour.x /= colour.count;
      colour.y /= colour.count;
    }
    views[group.getAttribute("data-view")] = { frame: [x, y, w, h].join(" "), colours, grey };
  }
  const legend = Array.from(root.querySelectorAll("g.legend rect"), (rect) => rect.getAttribute("fill"));
  return { views, legend };
}

async function measure(svgText, sessionId) {
  const evaluation = await send(
    "Runtime.evaluate",
    { expression: `(${measurePicture.toString()})(${JSON.stringify(svgText)})`, awaitPromise: true, returnByValue: true },
    sessionId
  );
  if (evaluation.exceptionDetails) throw new Error("measuring a picture: " + evaluation.exceptionDetails.exception?.description);
  return evaluation.result.value;
}

const kViews = ["sagittal", "coronal", "axial"];
const hexToKey = (hex) => [1, 3, 5].map((at) => parseInt(hex.slice(at, at + 2), 16)).join(",");

// Every legend colour shows in every view.
function checkColours(label, picture, errors) {
  if (Object.keys(picture.views).join() !== kViews.join()) errors.push(`${label}: views ${Object.keys(picture.views)}`);
  for (const view of kViews) {
    for (const hex of picture.legend) {
      if (!picture.views[view]?.colours[hexToKey(hex)]) errors.push(`${label}: ${hex} does not show in the ${view} view`);
    }
  }
}

// A TAL list whose spheres lie apart: "left" and "right" differ only in x (right,
// smaller and later in the file, lies on left in the sagittal view); "front_top" is
// anterior and superior of "back_bottom".
const kSpheres = [
  { name: "left", centre: [-50, 0, 0], radius: 10, colour: "#ff0000" },
  { name: "right", centre: [50, 0, 0], radius: 5, colour: "#0000ff" },
  { name: "front_top", centre: [0, 50, 50], radius: 6, colour: "#00a000" },
  { name: "back_bottom", centre: [0, -80, -30], radius: 6, colour: "#e6c800" },
];
const kPictureCases = [
  { name: "plain", shift: 0 },
  { name: "shifted", shift: 10 }, // every centre 10 mm to the subject's right
  { name: "underlay", shift: 0, underlay: true },
];

// A NIfTI-1 image of 16-bit integers: an ellipsoid of value 100 on a 2 mm grid
// around the origin, placed by its sform.
function writeUnderlay(path) {
  const [nx, ny, nz] = [60, 80, 60];
  const header = Buffer.alloc(352);
  header.writeInt32LE(348, 0);
  [3, nx, ny, nz, 1, 1, 1, 1].forEach((value, at) => header.writeInt16LE(value, 40 + 2 * at));
  header.writeInt16LE(4, 70); // int16
  header.writeInt16LE(16, 72);
  [1, 2, 2, 2].forEach((value, at) => header.writeFloatLE(value, 76 + 4 * at));
  header.writeFloatLE(352, 108);
  header.writeInt16LE(1, 254); // sform code: scanner
  const rows = [[2, 0, 0, -60], [0, 2, 0, -80], [0, 0, 2, -60]];
  rows.forEach((row, r) => row.forEach((value, c) => header.writeFloatLE(value, 280 + 16 * r + 4 * c)));
  header.write("n+1\0", 344, "latin1");
  const data = Buffer.alloc(2 * nx * ny * nz);
  for (let k = 0, at = 0; k < nz; ++k)
    for (let j = 0; j < ny; ++j)
      for (let i = 0; i < nx; ++i, at += 2) {
        const [x, y, z] = [2 * i - 60, 2 * j - 80, 2 * k - 60];
        if ((x / 55) ** 2 + (y / 75) ** 2 + (z / 55) ** 2 < 1) data.writeInt16LE(100, at);
      }
  fs.writeFileSync(path, Buffer.concat([header, data]));
}

async function checkPictures(sessionId, errors) {
  fs.mkdirSync(workDir, { recursive: true });
  const underlay = path.join(workDir, "underlay.nii");
  writeUnderlay(underlay);
  const pictures = {};
  for (const { name, shift, underlay: withUnderlay } of kPictureCases) {
    const list = path.join(workDir, `${name}.txt`);
    const lines = kSpheres.map(({ name: voi, centre: [x, y, z], radius, colour }) =>
      [x + shift, y, z, radius, voi, hexToKey(colour).replaceAll(",", " ")].join(" ")
    );
    fs.writeFileSync(list, lines.join("\n") + "\n");
    const svg = path.join(workDir, `${name}.svg`);
    const options = ["--no-load", "--picture", svg, ...(withUnderlay ? ["--underlay", underlay] : [])];
    execFileSync(standinHost, ["spheres", list, "-o", path.join(workDir, name), ...options], { stdio: "ignore" });
    pictures[name] = await measure(fs.readFileSync(svg, "utf8"), sessionId);
    checkColours(name, pictures[name], errors);
  }
  const at = (name, view, sphere) =>
    pictures[name].views[view].colours[hexToKey(kSpheres.find((s) => s.name === sphere).colour)] ?? { x: NaN, y: NaN };
  const expect = (ok, text) => ok || errors.push(text);
  for (const view of ["coronal", "axial"])
    expect(at("plain", view, "left").x < at("plain", view, "right").x - 50, `x = -50 is not left of x = +50 in the ${view} view`);
  const [left, right] = [at("plain", "sagittal", "left"), at("plain", "sagittal", "right")];
  expect(Math.hypot(left.x - right.x, left.y - right.y) < 1, "x = -50 and x = +50 differ in the sagittal view");
  for (const view of ["sagittal", "coronal"])
    expect(at("plain", view, "front_top").y < at("plain", view, "back_bottom").y - 50, `superior is not up in the ${view} view`);
  expect(at("plain", "axial", "front_top").y < at("plain", "axial", "back_bottom").y - 50, "anterior is not up in the axial view");
  expect(at("plain", "sagittal", "front_top").x > at("plain", "sagittal", "back_bottom").x + 50, "anterior is not right in the sagittal view");
  // A shifted list moves every sphere by the same distance across the coronal and
  // axial views, and by nothing in the sagittal view; the frames stay.
  const moves = [];
  for (const view of kViews) {
    expect(pictures.shifted.views[view].frame === pictures.plain.views[view].frame, `the ${view} frame moves with the spheres`);
    for (const { name } of kSpheres) {
      const [before, after] = [at("plain", view, name), at("shifted", view, name)];
      if (view === "sagittal") expect(Math.hypot(after.x - before.x, after.y - before.y) < 0.5, `${name} moves in the sagittal view`);
      else moves.push([after.x - before.x, after.y - before.y]);
    }
  }
  expect(moves.every(([dx, dy]) => dx > 10 && Math.abs(dx - moves[0][0]) < 0.5 && Math.abs(dy) < 0.5),
         "a 10 mm shift moves the spheres unequally: " + JSON.stringify(moves));
  for (const view of kViews)
    expect(pictures.underlay.views[view].grey > pictures.plain.views[view].grey + 1000, `the underlay adds no grey in the ${view} view`);
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

  const picture = await send(
    "Runtime.evaluate",
    { expression: "document.querySelector('svg.sphere-picture')?.outerHTML ?? ''", returnByValue: true },
    sessionId
  );
  if (picture.result.value) checkColours("the example picture", await measure(picture.result.value, sessionId), errors);
  else if (standinHost) errors.push("the page shows no example picture");
  if (standinHost) await checkPictures(sessionId, errors);

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
