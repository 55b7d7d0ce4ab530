// Keeps the page current without reloading it. Each event from /events
// carries the car's state in the page's language; when it is new, the
// widget is fetched again (a 304 when the drawing has not changed) in the
// colour scheme the browser prefers at that moment.
"use strict";
(() => {
  const query = document.body.dataset.query;
  const image = document.getElementById("widget");
  const details = document.getElementById("details");
  const dark = window.matchMedia("(prefers-color-scheme: dark)");
  let shownVersion = null;

  const widgetUrl = () =>
    "/widget.png?family=large" + (dark.matches ? "&appearance=dark" : "") + (query ? "&" + query : "");

  async function refreshWidget() {
    try {
      const response = await fetch(widgetUrl(), { cache: "no-cache" });
      if (!response.ok) return;
      const url = URL.createObjectURL(await response.blob());
      // From here on the script picks the scheme, not the <source>.
      for (const source of document.querySelectorAll("picture source")) source.remove();
      const previous = image.src;
      image.src = url;
      if (previous.startsWith("blob:")) URL.revokeObjectURL(previous);
    } catch (error) {
      // The next event tries again.
    }
  }

  function showDetails(status) {
    const [title, ...lines] = status.tooltip.split("\n");
    const heading = document.createElement("h1");
    heading.id = "car";
    heading.textContent = title;
    const paragraphs = lines.map((line) => {
      const paragraph = document.createElement("p");
      paragraph.textContent = line;
      return paragraph;
    });
    details.replaceChildren(heading, ...paragraphs);
    image.alt = status.text;
  }

  const events = new EventSource("/events" + (query ? "?" + query : ""));
  events.onmessage = (event) => {
    const status = JSON.parse(event.data);
    showDetails(status);
    if (status.version !== shownVersion) {
      shownVersion = status.version;
      refreshWidget();
    }
  };
  dark.addEventListener("change", refreshWidget);
})();
