// Peer for the large-widget benchmark: draws the same large widget that
// `kelvo-widget render --family large` draws for the benchmark's charging
// snapshot, with satori (flexbox layout to SVG) and resvg (SVG to PNG).
//
//   node render-large.mjs [--picture FILE] [--scale N] -o out.png
//
// Everything a real renderer would do per run happens per run: fonts are read
// and parsed, the picture (PNG or JPEG) is read, handed to the layout as a
// data URL and decoded and scaled to fit by resvg.

import { readFileSync, writeFileSync } from "node:fs";
import { extname } from "node:path";
import satori from "satori";
import { Resvg } from "@resvg/resvg-js";

function usage(message) {
  if (message) process.stderr.write(`render-large: ${message}\n`);
  process.stderr.write("usage: node render-large.mjs [--picture FILE] [--scale N] -o out.png\n");
  process.exit(2);
}

function parseArgs(argv) {
  const args = { picture: null, out: null, scale: 2 };
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    const value = () => {
      if (i + 1 >= argv.length) usage(`${a} needs a value`);
      return argv[++i];
    };
    if (a === "--picture") args.picture = value();
    else if (a === "-o" || a === "--output") args.out = value();
    else if (a === "--scale") args.scale = Number(value());
    else if (a === "-h" || a === "--help") usage();
    else usage(`unknown argument ${a}`);
  }
  if (!args.out) usage("-o is required");
  if (!(args.scale > 0)) usage("--scale must be a positive number");
  return args;
}

// Widget geometry and styles in points, light appearance, modern host.
const WIDTH = 364;
const HEIGHT = 382;
const MARGIN = 16;
const CORNER = 22;
const WINDOW = "#f2f2f2";                  // host window material
const BACKGROUND = "rgba(0, 0, 0, 0.05)";  // tertiary fill over it
const PRIMARY = "rgba(0, 0, 0, 0.85)";
const SECONDARY = "rgba(0, 0, 0, 0.5)";
const TERTIARY = "rgba(0, 0, 0, 0.26)";
const QUATERNARY = "rgba(0, 0, 0, 0.1)";
const GREEN = "rgb(40, 205, 65)";

const TEXT = {
  headline: { fontSize: 13, lineHeight: "16px", fontWeight: 700 },
  callout: { fontSize: 12, lineHeight: "15px", fontWeight: 400 },
  caption: { fontSize: 10, lineHeight: "13px", fontWeight: 400 },
  caption2: { fontSize: 10, lineHeight: "13px", fontWeight: 500 },
};

// The benchmark snapshot, already turned into display texts.
const CONTENT = {
  title: "Polestar 4 · 2026",
  registration: "KLV 042",
  status: "Charging",
  percent: "64%",
  fraction: 0.64,
  range: "318 km",
  fields: [
    ["Full in", "1h35m"],
    ["Power", "11 kW"],
    ["Charger", "Connected"],
    ["Odometer", "23,412 km"],
  ],
  updated: "Updated",
  age: "2 min. ago",
};

const h = (type, style, ...children) => ({
  type,
  props: { style: { display: "flex", ...style }, children: children.flat().filter((c) => c !== null) },
});

function loadFonts() {
  const inter = (file, weight) => ({
    name: "Inter",
    data: readFileSync(`/usr/share/fonts/opentype/inter/${file}`),
    weight,
    style: "normal",
  });
  return [
    inter("Inter-Regular.otf", 400),
    inter("Inter-Medium.otf", 500),
    inter("Inter-SemiBold.otf", 600),
    inter("Inter-Bold.otf", 700),
    {
      // The rounded face behind the big percent figure.
      name: "Rounded",
      data: readFileSync("/usr/share/fonts/truetype/quicksand/Quicksand-Bold.ttf"),
      weight: 600,
      style: "normal",
    },
  ];
}

function pictureDataUrl(path) {
  const data = readFileSync(path);
  const isPng = data.length > 8 && data.readUInt32BE(0) === 0x89504e47;
  const isJpeg = data.length > 3 && data[0] === 0xff && data[1] === 0xd8;
  if (!isPng && !isJpeg) {
    throw new Error(`${path}: not a PNG or JPEG file (${extname(path) || "no extension"})`);
  }
  return `data:image/${isPng ? "png" : "jpeg"};base64,${data.toString("base64")}`;
}

function boltIcon(size, color) {
  return {
    type: "svg",
    props: {
      width: size,
      height: size,
      viewBox: "0 0 24 24",
      children: { type: "path", props: { d: "M13.5 2 L4.5 13.5 H11 L9.5 22 L19.5 9.5 H13 Z", fill: color } },
    },
  };
}

function statusLabel() {
  return h(
    "div",
    { alignItems: "center", gap: 4, color: GREEN, fontFamily: "Inter", ...TEXT.caption },
    boltIcon(11, GREEN),
    h("span", {}, CONTENT.status),
  );
}

function batteryBar(fraction, tint) {
  const fill = Math.max(fraction <= 0 ? 0 : fraction > 1 ? 1 : fraction, 0) * 100;
  return h(
    "div",
    { width: "100%", height: 6, borderRadius: 3, backgroundColor: QUATERNARY, flexShrink: 0 },
    h("div", { width: `${fill}%`, minWidth: 2, height: 6, borderRadius: 3, backgroundColor: tint }),
  );
}

function field(key, value) {
  return h(
    "div",
    { flexDirection: "column", gap: 1, width: (WIDTH - 2 * MARGIN - 8) / 2 },
    h("span", { ...TEXT.caption2, color: TERTIARY }, key),
    h("span", { ...TEXT.callout, fontWeight: 500, color: PRIMARY }, value),
  );
}

function fieldGrid(fields) {
  const rows = [];
  for (let i = 0; i < fields.length; i += 2) {
    rows.push(h("div", { gap: 8 }, fields.slice(i, i + 2).map(([k, v]) => field(k, v))));
  }
  return h("div", { flexDirection: "column", gap: 8, flexShrink: 0 }, rows);
}

function largeWidget(picture) {
  const c = CONTENT;
  const header = h(
    "div",
    { alignItems: "baseline", flexShrink: 0 },
    h(
      "div",
      { flexDirection: "column", gap: 1, flexGrow: 1, minWidth: 0, marginRight: 8 },
      h("span", { ...TEXT.headline, color: PRIMARY, whiteSpace: "nowrap", overflow: "hidden", textOverflow: "ellipsis" }, c.title),
      h("span", { ...TEXT.caption2, color: TERTIARY }, c.registration),
    ),
    statusLabel(),
  );
  const image = picture
    ? {
        type: "img",
        props: {
          src: picture,
          style: { flexGrow: 1, flexShrink: 1, minHeight: 0, width: "100%", objectFit: "contain" },
        },
      }
    : null;
  const percentLine = h(
    "div",
    { alignItems: "baseline", gap: 6, flexShrink: 0 },
    h("span", { fontFamily: "Rounded", fontSize: 32, fontWeight: 600, lineHeight: "38px", color: PRIMARY }, c.percent),
    h("span", { ...TEXT.callout, color: SECONDARY }, c.range),
  );
  const footer = h(
    "div",
    { alignItems: "center", gap: 4, flexShrink: 0, ...TEXT.caption2, color: TERTIARY },
    h("span", {}, c.updated),
    h("span", {}, c.age),
  );
  const spacer = picture ? null : h("div", { flexGrow: 1 });

  return h(
    "div",
    { width: WIDTH, height: HEIGHT, backgroundColor: WINDOW, borderRadius: CORNER, overflow: "hidden" },
    h(
      "div",
      {
        flexDirection: "column",
        gap: 8,
        flexGrow: 1,
        padding: MARGIN,
        backgroundColor: BACKGROUND,
        fontFamily: "Inter",
      },
      header,
      image,
      percentLine,
      batteryBar(c.fraction, GREEN),
      fieldGrid(c.fields),
      spacer,
      footer,
    ),
  );
}

const args = parseArgs(process.argv.slice(2));
const picture = args.picture ? pictureDataUrl(args.picture) : null;
const svg = await satori(largeWidget(picture), { width: WIDTH, height: HEIGHT, fonts: loadFonts() });
const png = new Resvg(svg, { fitTo: { mode: "zoom", value: args.scale } }).render().asPng();
writeFileSync(args.out, png);
