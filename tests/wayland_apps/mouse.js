// Added to the textarea page of tests/x11_apps: records every button press
// and release, click, double click, context menu and wheel turn with its
// position in the page, and posts them in order to /mouse.
const mouse = [];
let posting = Promise.resolve();

function post() {
  const events = mouse.splice(0);
  if (events.length === 0) return;
  posting = posting.then(() => fetch("/mouse", {method: "POST", body: JSON.stringify({events})}))
                   .catch(() => { mouse.unshift(...events); setTimeout(post, 50); });
}

function record(event) {
  const entry = {type: event.type, x: event.clientX, y: event.clientY, screenX: event.screenX, screenY: event.screenY,
                 frame: [window.outerWidth - window.innerWidth, window.outerHeight - window.innerHeight],
                 button: event.button, detail: event.detail};
  if (event.type === "wheel") {
    entry.dx = Math.sign(event.deltaX);
    entry.dy = Math.sign(event.deltaY);
  }
  // No menu to take the pointer, no scrolling to move the page under it.
  if (event.type === "contextmenu" || event.type === "wheel") event.preventDefault();
  mouse.push(entry);
  post();
}

for (const type of ["mousedown", "mouseup", "click", "dblclick", "contextmenu", "wheel"]) {
  window.addEventListener(type, record, {capture: true, passive: false});
}
