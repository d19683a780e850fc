// Orbiculon.js: the dialog of the Orbiculon plug-in.
//
// The host shows this dialog next to the current VMR. The dialog and the plug-in
// share the named parameters below: the host keeps their values, the plug-in reads
// them (and writes "AllText" and "VOItext" back). Each button sets "Command" to the
// name of one of the plug-in's four commands and asks the host to run the plug-in.
//
// Types: "text" is a text, "integer" a whole number, "float" a real number.
// Written in plain ES5 so that any script engine of the host can run it.

"use strict";

var OrbiculonDialog = {
  title: "Orbiculon - spherical VOIs from TAL or MNI coordinates",
  width: 620,
  height: 680,

  // Every parameter of the plug-in, under its exact name and type, with the value
  // the dialog starts with.
  parameters: [
    {
      name: "Command",
      type: "text",
      value: "",
      hidden: true,
      help: "Set by the buttons: Start, ReadTextFile, SaveTextFile or CleanUpText."
    },
    {
      name: "MNIorTal",
      type: "integer",
      value: 0,
      label: "Reference space",
      control: "choice",
      choices: [
        { label: "TAL (Talairach)", value: 0 },
        { label: "MNI", value: 1 }
      ],
      help: "Space of every coordinate, in the fields and in the list."
    },
    {
      name: "ConvertSpace",
      type: "integer",
      value: 0,
      label: "Convert to the other space",
      control: "choice",
      choices: [
        { label: "no: build the VOIs in the reference space", value: 0 },
        { label: "icbm2tal, for data normalised with SPM", value: 1 },
        { label: "icbm2tal, for data normalised with FSL", value: 2 },
        { label: "icbm2tal, for other templates", value: 3 },
        { label: "mni2tal (older piecewise transform)", value: 4 }
      ],
      help:
        "Converts every centre from the reference space to the other one before the VOIs are built; " +
        "the VOI file is then in the other space. icbm2tal: the MNI-to-TAL transforms published in 2007, " +
        "one for SPM, one for FSL and one for other templates; TAL to MNI uses their exact inverse. " +
        "mni2tal: the older piecewise transform (different scaling above and below z = 0) that older " +
        "tools and papers use. The list is still cleaned in the reference space."
    },
    {
      name: "listVOIinfoFrom",
      type: "integer",
      value: 0,
      label: "Make VOIs from",
      control: "choice",
      choices: [
        { label: "the single VOI fields", value: 0 },
        { label: "the coordinate list (one VOI per valid line)", value: 1 }
      ]
    },
    { name: "tX", type: "float", value: 0.0, label: "x (mm)", control: "number", step: 0.5 },
    { name: "tY", type: "float", value: 0.0, label: "y (mm)", control: "number", step: 0.5 },
    { name: "tZ", type: "float", value: 0.0, label: "z (mm)", control: "number", step: 0.5 },
    { name: "Radius", type: "float", value: 5.0, label: "Radius (mm)", control: "number", step: 0.5 },
    {
      name: "Name_of_VOI",
      type: "text",
      value: "VOI",
      label: "Name",
      control: "line"
    },
    { name: "cR", type: "integer", value: 255, label: "Red", control: "number", min: 0, max: 255 },
    { name: "cG", type: "integer", value: 0, label: "Green", control: "number", min: 0, max: 255 },
    { name: "cB", type: "integer", value: 0, label: "Blue", control: "number", min: 0, max: 255 },
    {
      name: "VOItext",
      type: "text",
      value: "",
      label: "Coordinate list: x y z radius name red green blue, one VOI per line",
      control: "textbox",
      font: "monospace",
      help: "Paste a table here and press Clean list: lines that are not coordinates are dropped."
    },
    {
      name: "CompleteLines",
      type: "integer",
      value: 0,
      label: "Complete x y z lines with the fields above",
      control: "checkbox",
      help:
        "For tables pasted from papers: a line of x y z, perhaps followed by a region label (the name), " +
        "gets the radius, name and colour of the Single VOI fields before it is cleaned; lines without a " +
        "label are named after Name with their line number (peak_3)."
    },
    {
      name: "AllText",
      type: "text",
      value: "",
      hidden: true,
      help: "Written by ReadTextFile; afterCommand moves it into the list box. When no file was read, the plug-in writes the list itself here, so the list stays as it was."
    },
    {
      name: "FileName",
      type: "text",
      value: "",
      label: "VOI file (without .voi)",
      control: "saveFile",
      filter: "VOI file (*.voi)",
      help: "The plug-in appends .voi to this path."
    },
    {
      name: "LoadInCV",
      type: "integer",
      value: 1,
      label: "Load the VOI file when it is written",
      control: "checkbox"
    }
  ],

  // How the visible parameters are grouped, top to bottom.
  layout: [
    { group: "Coordinates", parameters: ["MNIorTal", "listVOIinfoFrom"] },
    { group: "Space conversion", parameters: ["ConvertSpace"] },
    { group: "Single VOI", parameters: ["tX", "tY", "tZ", "Radius", "Name_of_VOI", "cR", "cG", "cB"] },
    {
      group: "Coordinate list",
      parameters: ["VOItext", "CompleteLines"],
      buttons: ["ReadTextFile", "SaveTextFile", "CleanUpText"]
    },
    { group: "Output", parameters: ["FileName", "LoadInCV"], buttons: ["Start"] }
  ],

  // The buttons: each sets "Command" and runs the plug-in.
  commands: [
    { command: "Start", label: "Create VOIs" },
    { command: "ReadTextFile", label: "Read list..." },
    { command: "SaveTextFile", label: "Save list..." },
    { command: "CleanUpText", label: "Clean list" }
  ],

  // Called by the host after the plug-in has run `command`. `dialog` gives access to
  // the parameters through get(name) and set(name, value).
  afterCommand: function (command, dialog) {
    if (command === "ReadTextFile") {
      // The plug-in leaves the file's lines in "AllText"; they belong in the list box.
      // When no file was read (cancelled, unopenable, not a regular file) it leaves
      // the list itself there, so the list box keeps exactly what it held.
      dialog.set("VOItext", dialog.get("AllText"));
    }
  }
};

if (typeof module !== "undefined" && module.exports) {
  module.exports = OrbiculonDialog;
}
