// The on-stream results page. The plug-in holds the vote; this page only
// draws the last state it was sent and reconnects by itself, so a refresh or
// a restart of either side never loses or invents a count.
(function () {
  "use strict";

  var RETRY_FIRST_MS = 500;
  // Below 2 s, so a page opened first is live within 2 s of the plug-in.
  var RETRY_MAX_MS = 1500;
  var OPEN_TIMEOUT_MS = 3000;

  var params = new URLSearchParams(window.location.search);
  var root = document.documentElement;
  root.classList.add(params.get("theme") === "dark" ? "theme-dark" : "theme-light");
  root.classList.add(params.get("layout") === "compact" ? "layout-compact" : "layout-bars");
  var scale = parseFloat(params.get("scale"));
  if (isFinite(scale) && scale > 0)
    root.style.setProperty("--scale", String(Math.min(Math.max(scale, 0.25), 4)));

  var board = document.getElementById("board");
  var question = document.getElementById("question");
  var countdown = document.getElementById("countdown");
  var teamList = document.getElementById("teams");
  var stack = document.getElementById("stack");
  var lead = document.getElementById("lead");
  var rules = document.getElementById("rules");
  var howTo = document.getElementById("howto");
  var showHowTo = params.get("howto") !== "0";
  var numbers = new Intl.NumberFormat("zh-CN");
  var rows = {}; // team index -> {row, name, badge, votes, share, fill, segment}

  // Only "r,g,b,a" numbers become a colour; anything else falls back to grey.
  function teamColour(text) {
    var parts = String(text || "").split(",");
    if (parts.length !== 4 || parts.some(function (p) { return !/^\s*\d+(\.\d+)?\s*$/.test(p); }))
      return "rgba(128,128,128,1)";
    return "rgba(" + parts.map(function (p) { return p.trim(); }).join(",") + ")";
  }

  function luminance(hex) {
    var value = parseInt(hex.slice(1), 16);
    return (0.2126 * (value >> 16) + 0.7152 * ((value >> 8) & 255) + 0.0722 * (value & 255)) / 255;
  }

  function element(tag, className, parent) {
    var node = document.createElement(tag);
    node.className = className;
    if (parent)
      parent.appendChild(node);
    return node;
  }

  function rowFor(index) {
    if (rows[index])
      return rows[index];
    var row = element("li", "team");
    var label = element("div", "label", row);
    var entry = {
      row: row,
      name: element("span", "name", label),
      badge: element("span", "badge", label),
      figures: element("span", "figures", label),
      fill: element("div", "fill", element("div", "track", row)),
      segment: element("div", "segment")
    };
    entry.badge.textContent = "★";
    entry.votes = element("span", "votes", entry.figures);
    element("span", "unit", entry.figures).textContent = "票 ";
    entry.share = element("span", "share", entry.figures);
    rows[index] = entry;
    return entry;
  }

  function placeAt(parent, node, position) {
    if (parent.children[position] !== node)
      parent.insertBefore(node, parent.children[position] || null);
  }

  function show(node, text) {
    node.textContent = text || "";
    node.hidden = !text;
  }

  // The line fits on one line: the long form when there is room, else the short.
  function fitHowTo(state) {
    var text = typeof state.howTo === "string" ? state.howTo : "";
    show(howTo, text);
    if (text && howTo.scrollWidth > howTo.clientWidth && typeof state.howToShort === "string")
      show(howTo, state.howToShort);
  }

  function render(state) {
    var teams = Array.isArray(state.teams) ? state.teams : [];
    var leader = state.counting ? 0 : Number(state.leader) || 0;

    show(question, state.question);
    var colour = /^#[0-9a-fA-F]{6}$/.test(state.questionColour || "") ? state.questionColour : "";
    question.style.color = colour;
    // A dark announcement colour gets a light outline, or it sinks into its shadow.
    question.classList.toggle("dark-ink", colour !== "" && luminance(colour) < 0.3);
    show(countdown, state.countdown);

    var keep = {};
    teams.forEach(function (team, position) {
      var index = Number(team.index) || position + 1;
      var entry = rowFor(index);
      keep[index] = true;
      var share = Math.min(Math.max(Number(team.share) || 0, 0), 1);
      var width = (share * 100).toFixed(3) + "%";
      var colour = teamColour(team.colour);
      entry.row.style.setProperty("--team", colour);
      entry.segment.style.setProperty("--team", colour);
      // Under vote by number the audience types the number shown before the name.
      var number = state.rules && state.rules.voteByNumber ? index + " " : "";
      entry.name.textContent = number + (team.name || "队伍" + index);
      entry.votes.textContent = numbers.format(Number(team.votes) || 0);
      entry.share.textContent = Math.round(share * 100) + "%";
      entry.fill.style.width = width;
      entry.segment.style.width = width;
      entry.badge.hidden = index !== leader;
      entry.row.classList.toggle("leader", index === leader);
      // Rows follow the state's order; a row already in place is left alone,
      // since moving a node restarts its bar's transition.
      placeAt(teamList, entry.row, position);
      placeAt(stack, entry.segment, position);
    });
    Object.keys(rows).forEach(function (index) {
      if (!keep[index]) {
        rows[index].row.remove();
        rows[index].segment.remove();
        delete rows[index];
      }
    });

    show(lead, Number(state.mode) === 2 ? state.lead : "");
    // The rules in force and the votes they turned away; nothing while every rule is off.
    show(rules, typeof state.ruleLine === "string" ? state.ruleLine : "");
    board.classList.toggle("final", leader > 0);
    board.hidden = false;
    // Measured once the board shows: a hidden line has no width.
    if (showHowTo)
      fitHowTo(state);
  }

  var retryMs = RETRY_FIRST_MS;

  function connect() {
    var socket;
    try {
      socket = new WebSocket("ws://" + window.location.host + "/overlay/ws");
    } catch (error) {
      retryLater();
      return;
    }
    // A connection that hangs half-open is given up and tried again.
    var openTimer = setTimeout(function () { socket.close(); }, OPEN_TIMEOUT_MS);
    socket.onopen = function () {
      clearTimeout(openTimer);
      retryMs = RETRY_FIRST_MS;
    };
    socket.onmessage = function (event) {
      var state;
      try {
        state = JSON.parse(event.data);
      } catch (error) {
        return; // keep the last good picture
      }
      if (state && typeof state === "object")
        render(state);
    };
    socket.onclose = function () {
      clearTimeout(openTimer);
      retryLater();
    };
  }

  // The last state stays on screen while the plug-in is away.
  function retryLater() {
    setTimeout(connect, retryMs);
    retryMs = Math.min(retryMs * 2, RETRY_MAX_MS);
  }

  connect();
})();
