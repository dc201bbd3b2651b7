// Runs the entry page's script in a minimal stand-in for the browser's DOM
// and window.external, then plays one scenario: load, fill in the form,
// submit. Reads {script, external, commandLine, account, password} as JSON
// on stdin; prints {calls, status, launcherPath, submitReturned, error}.
"use strict";
const vm = require("vm");

let input = "";
process.stdin.on("data", (d) => { input += d; });
process.stdin.on("end", () => {
  const sc = JSON.parse(input);
  const calls = [];
  const elements = {};
  function element(id) {
    if (!elements[id]) {
      elements[id] = {
        id, value: "", className: "", childNodes: [], onsubmit: null,
        get firstChild() { return this.childNodes.length ? this.childNodes[0] : null; },
        appendChild(c) { this.childNodes.push(c); return c; },
        removeChild(c) { this.childNodes.splice(this.childNodes.indexOf(c), 1); return c; },
        // markup would show up here; the page must never use it
        set innerHTML(v) { throw new Error("innerHTML used"); },
      };
    }
    return elements[id];
  }
  const text = (id) => element(id).childNodes.map((n) => n.text).join("");
  const document = {
    readyState: "loading",
    getElementById: element,
    createTextNode: (t) => ({ text: String(t) }),
  };
  const window = {};
  if (sc.external === "bridge") {
    window.external = {
      JavascriptToCsharp(method, params) {
        calls.push([method, params]);
        return method === "GetCommandLine" ? sc.commandLine : "";
      },
    };
  } else if (sc.external === "throws") {
    window.external = { JavascriptToCsharp() { throw new Error("host refused"); } };
  } else if (sc.external === "plain") {
    window.external = { AddSearchProvider() {} };   // what a browser offers
  }                                                 // "none": no external at all
  const out = { calls, status: null, launcherPath: null, submitReturned: null, error: null };
  try {
    vm.runInNewContext(sc.script, { window, document });
    if (typeof window.onload === "function") window.onload();
    element("account").value = sc.account;
    element("password").value = sc.password;
    out.submitReturned = element("login-form").onsubmit();
    out.status = text("status");
    out.launcherPath = text("launcher-path");
  } catch (e) {
    out.error = String(e && e.stack || e);
  }
  process.stdout.write(JSON.stringify(out));
});
