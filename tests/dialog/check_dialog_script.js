// Runs the dialog script with Node.js and checks that it declares exactly the
// parameters the plug-in shares with the dialog, under their names and types, with
// the intended start values, and the plug-in's four commands.
//
// Usage: node check_dialog_script.js path/to/Orbiculon.js
"use strict";

const assert = require("node:assert/strict");
const path = require("node:path");

const scriptPath = path.resolve(process.argv[2] || "");
const dialog = require(scriptPath);

// The plug-in's parameters: name and type.
const expectedParameters = {
  Command: "text",
  MNIorTal: "integer",
  AllText: "text",
  VOItext: "text",
  tX: "float",
  tY: "float",
  tZ: "float",
  Radius: "float",
  Name_of_VOI: "text",
  cR: "integer",
  cG: "integer",
  cB: "integer",
  FileName: "text",
  LoadInCV: "integer",
  listVOIinfoFrom: "integer",
  ConvertSpace: "integer",
  CompleteLines: "integer"
};
const expectedDefaults = {
  MNIorTal: 0,
  Radius: 5,
  cR: 255,
  cG: 0,
  cB: 0,
  LoadInCV: 1,
  listVOIinfoFrom: 0,
  ConvertSpace: 0,
  CompleteLines: 0
};
const expectedCommands = ["Start", "ReadTextFile", "SaveTextFile", "CleanUpText"];

const checks = [];
function check(name, body) {
  checks.push({ name, body });
}

check("declares each parameter once", () => {
  const names = dialog.parameters.map((p) => p.name);
  assert.equal(new Set(names).size, names.length, "duplicate parameter in " + names.join(", "));
});

check("declares exactly the plug-in's parameters with their types", () => {
  const declared = {};
  for (const p of dialog.parameters) declared[p.name] = p.type;
  assert.deepEqual(declared, expectedParameters);
});

check("start values fit their types", () => {
  for (const p of dialog.parameters) {
    if (p.type === "text") assert.equal(typeof p.value, "string", p.name);
    else if (p.type === "integer") assert.ok(Number.isInteger(p.value), p.name);
    else assert.equal(typeof p.value, "number", p.name);
  }
});

check("start values: TAL, radius 5, colour 255 0 0, load on, no conversion", () => {
  const values = {};
  for (const p of dialog.parameters) values[p.name] = p.value;
  for (const [name, value] of Object.entries(expectedDefaults)) assert.equal(values[name], value, name);
});

check("offers the four commands", () => {
  assert.deepEqual(dialog.commands.map((c) => c.command).sort(), [...expectedCommands].sort());
  for (const c of dialog.commands) assert.ok(c.label && c.label.length > 0, c.command + " has no label");
});

check("lays out every visible parameter and every command exactly once", () => {
  const visible = dialog.parameters.filter((p) => !p.hidden).map((p) => p.name).sort();
  const placed = dialog.layout.flatMap((g) => g.parameters).sort();
  assert.deepEqual(placed, visible);
  const buttons = dialog.layout.flatMap((g) => g.buttons || []).sort();
  assert.deepEqual(buttons, [...expectedCommands].sort());
});

check("choices offer the values the plug-in distinguishes", () => {
  const byName = Object.fromEntries(dialog.parameters.map((p) => [p.name, p]));
  assert.deepEqual(byName.MNIorTal.choices.map((c) => c.value), [0, 1]);
  assert.deepEqual(byName.listVOIinfoFrom.choices.map((c) => c.value), [0, 1]);
  assert.deepEqual(byName.ConvertSpace.choices.map((c) => c.value), [0, 1, 2, 3, 4]);
});

check("after ReadTextFile the read list moves into the list box", () => {
  const values = { AllText: "-42 -58 22 5 amygdala_L 255 0 0", VOItext: "old" };
  const host = { get: (n) => values[n], set: (n, v) => { values[n] = v; } };
  dialog.afterCommand("ReadTextFile", host);
  assert.equal(values.VOItext, "-42 -58 22 5 amygdala_L 255 0 0");
  values.VOItext = "kept";
  for (const other of ["Start", "SaveTextFile", "CleanUpText"]) dialog.afterCommand(other, host);
  assert.equal(values.VOItext, "kept");
});

// What the plug-in leaves in "AllText" after ReadTextFile: the file's lines when it
// read a file (even an empty one), the list itself when it read none.
check("a read without a file keeps the list; an empty file empties it", () => {
  const list = "-42 -58 22 5 mine 255 0 0\n\npasted by hand";
  const outcomes = [
    { name: "cancelled", allText: list, list },
    { name: "unreadable path", allText: list, list },
    { name: "empty file", allText: "", list: "" },
    { name: "normal file", allText: "1 2 3 4 a 1 2 3", list: "1 2 3 4 a 1 2 3" }
  ];
  for (const outcome of outcomes) {
    const values = { AllText: outcome.allText, VOItext: list };
    dialog.afterCommand("ReadTextFile", { get: (n) => values[n], set: (n, v) => { values[n] = v; } });
    assert.equal(values.VOItext, outcome.list, outcome.name);
  }
});

let failed = 0;
for (const { name, body } of checks) {
  try {
    body();
    console.log("ok - " + name);
  } catch (error) {
    failed += 1;
    console.log("not ok - " + name + "\n  " + String(error.message).split("\n").join("\n  "));
  }
}
console.log(`${checks.length - failed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
