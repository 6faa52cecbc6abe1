// The page of `corvanta serve`: Play (a game against the castle, partners' moves streamed as
// server-sent events) and Watch (a logged game, step by step). The server decides everything
// about the game; the page only shows what it is sent and says what was clicked.

const $ = (id) => document.getElementById(id);

function el(tag, props = {}, ...children) {
  const node = document.createElement(tag);
  Object.assign(node, props);
  for (const child of children) node.append(child);
  return node;
}

// Every answer of the server is JSON; a refusal carries {"error": reason}.
async function call(method, url, body) {
  const options = { method, headers: {} };
  if (body !== undefined) {
    options.body = typeof body === "string" ? body : JSON.stringify(body);
    options.headers["content-type"] = typeof body === "string" ? "text/plain" : "application/json";
  }
  const response = await fetch(url, options);
  let data = {};
  try { data = await response.json(); } catch { /* an empty or cut answer */ }
  if (!response.ok) throw new Error(data.error || `${response.status} ${response.statusText}`);
  return data;
}

function cardNode(card, tag = "span", small = false) {
  const node = el(tag, { className: `card${card.red ? " red" : ""}${card.suit === "jester" ? " jester" : ""}${small ? " small" : ""}` },
    card.label, el("small", { textContent: card.suit === "jester" ? "jester" : `${card.worth}` }));
  node.dataset.label = card.label;
  return node;
}

function renderEnemy(box, state) {
  box.replaceChildren();
  const enemy = state.enemy;
  box.append(el("h2", { textContent: `Enemy · level ${state.level} of 12` }));
  if (!enemy) {
    box.append(el("p", { textContent: state.over ? "" : "The castle has fallen: play any card to win (a yield loses)." }));
    return;
  }
  const bar = el("div");
  bar.style.width = `${Math.max(0, (100 * enemy.health) / enemy.full)}%`;
  box.append(
    el("div", { className: `big${enemy.card.red ? " red" : ""}`, textContent: enemy.card.label }),
    el("div", { className: "health" }, bar),
    el("p", { id: box.id + "-line", textContent: `health ${enemy.health}/${enemy.full} · attack ${enemy.attack}` }),
    el("p", { textContent: enemy.jester ? "immunity cancelled by the jester" : `immune to ${enemy.immune}` }),
  );
  if (state.attack_cards.length) {
    box.append(el("div", { className: "cards" }, ...state.attack_cards.map((c) => cardNode(c, "span", true))));
  }
}

function renderPiles(list, state) {
  const rows = [`tavern ${state.piles.tavern}`, `discard ${state.piles.discard}`, `castle ${state.piles.castle}`];
  if (state.refills_left !== null) rows.push(`refills left ${state.refills_left}`);
  list.replaceChildren(...rows.map((text) => el("li", { textContent: text })));
}

function renderBars(box, rows, played) {
  const most = Math.max(1, ...rows.map((row) => row.visits));
  box.replaceChildren();
  for (const row of rows) {
    const fill = el("div");
    fill.style.width = `${(100 * row.visits) / most}%`;
    box.append(
      el("span", { className: `move${row.move === played ? " played" : ""}`, textContent: row.move }),
      el("div", { className: "bar" }, fill),
      el("span", { className: "figures", textContent: `visits ${row.visits} · mean level ${row.visits ? row.mean.toFixed(2) : "-"}` }),
    );
  }
}

// ---- Play ----------------------------------------------------------------------------------

let config = { seats: [], hint_playouts: 0, files: [] };

const play = { state: null, stream: null, selected: new Set(), turn: -1, shownEvents: 0, checking: 0 };

function seatInputs(count, defaults) {
  const box = $("seats");
  const old = [...box.querySelectorAll("input")].map((input) => input.value);
  box.replaceChildren();
  for (let i = 0; i < count; i++) {
    const value = old[i] ?? defaults[i] ?? (i === 0 ? "human" : "mcts:1000");
    box.append(el("label", { textContent: `P${i} ` }, el("input", { id: `seat-${i}`, value, spellcheck: false })));
  }
}

function leaveGame() {
  if (play.stream) play.stream.close();
  if (play.state) navigator.sendBeacon(`/api/games/${play.state.id}/leave`);
  play.stream = null;
}

async function startGame(event) {
  event.preventDefault();
  $("setup-error").textContent = "";
  const players = Number($("players").value);
  const seats = [...Array(players).keys()].map((i) => $(`seat-${i}`).value.trim());
  const seedText = $("seed").value.trim();
  const body = { players, seats };
  if (seedText) {
    if (!/^\d+$/.test(seedText)) { $("setup-error").textContent = "a seed is a whole number"; return; }
    body.seed = Number(seedText);
  }
  try {
    const state = await call("POST", "/api/games", body);
    leaveGame();
    play.turn = -1;
    play.shownEvents = 0;
    $("events").replaceChildren();
    showGame(state);
    play.stream = new EventSource(`/api/games/${state.id}/events`);
    play.stream.onmessage = (message) => showGame(JSON.parse(message.data));
  } catch (error) {
    $("setup-error").textContent = error.message;
  }
}

function selectedCards() {
  const hand = play.state.seats[play.state.hand_seat]?.hand ?? [];
  return [...play.selected].sort((a, b) => a - b).map((i) => hand[i]);
}

function moveText() { return selectedCards().map((card) => card.label).join(" "); }

function showGame(state) {
  if (play.state && state.id === play.state.id && state.version < play.state.version) return;
  play.state = state;
  if (state.turn !== play.turn) {
    play.turn = state.turn;
    play.selected.clear();
    $("reason").textContent = "";
    $("hint-panel").hidden = true;
  }
  $("setup").hidden = true;
  $("table").hidden = false;
  const acting = state.seats[state.acting];
  $("status").textContent = state.over ? `Game of seed ${state.seed} · over`
    : state.your_turn ? `Seed ${state.seed} · turn ${state.turn + 1} · P${state.acting}, your move`
    : `Seed ${state.seed} · turn ${state.turn + 1} · P${state.acting} (${acting.spec}) is thinking…`;
  renderEnemy($("enemy"), state);
  renderPiles($("piles"), state);
  $("seat-list").replaceChildren(...state.seats.map((seat) => el("li", {
    className: seat.seat === state.acting && !state.over ? "acting" : "",
    textContent: `P${seat.seat} ${seat.spec}${state.humans.includes(seat.seat) ? " (you)" : ""} · ${seat.cards} cards`,
  })));
  showEvents(state);
  showHand(state);
  $("ending").hidden = !state.over;
  $("ending-text").textContent = state.ending ?? "";
  if (state.failure) $("reason").textContent = state.failure;
}

function showEvents(state) {
  const list = $("events");
  for (const item of list.querySelectorAll("li.new")) item.classList.remove("new");
  for (let i = play.shownEvents; i < state.events.length; i++) {
    list.append(el("li", { className: "new", textContent: state.events[i].text }));
  }
  play.shownEvents = state.events.length;
  list.scrollTop = list.scrollHeight;
}

function showHand(state) {
  const seat = state.hand_seat;
  const hand = seat === null ? [] : state.seats[seat].hand;
  $("hand-title").textContent = seat === null ? "No person plays here" : `P${seat} hand`;
  $("hand").replaceChildren(...hand.map((card, i) => {
    const button = cardNode(card, "button");
    button.setAttribute("aria-pressed", String(play.selected.has(i)));
    button.disabled = !state.your_turn || state.phase === "jester";
    button.addEventListener("click", () => toggle(i));
    return button;
  }));
  const moves = state.moves ?? { yield: false, refill: false, jester: [] };
  const mine = state.your_turn;
  $("play").textContent = state.phase === "discard" ? "Discard" : "Play";
  $("play").disabled = !mine || state.phase === "jester" || play.selected.size === 0;
  $("clear").disabled = !mine || play.selected.size === 0;
  $("yield").disabled = !moves.yield;
  $("refill").disabled = !moves.refill;
  $("hint").disabled = !mine;
  const jester = $("jester");
  jester.hidden = !(mine && state.phase === "jester");
  jester.replaceChildren(el("span", { textContent: "Jester: who acts next?" }), ...moves.jester.map((target) => {
    const button = el("button", { textContent: `P${target} ${state.seats[target].spec}` });
    button.dataset.seat = String(target);
    button.addEventListener("click", () => send(String(target)));
    return button;
  }));
  const total = selectedCards().reduce((sum, card) => sum + card.worth, 0);
  $("total").textContent = state.phase === "discard" && mine
    ? `Discard: chosen ${total} of ${state.discard_amount}` : "";
}

function toggle(index) {
  if (play.selected.has(index)) play.selected.delete(index); else play.selected.add(index);
  showHand(play.state);
  check();
}

// Each selection is checked by the server as the console checks a typed move: why it is not
// legal, in one line.
async function check() {
  const ticket = ++play.checking;
  const text = moveText();
  if (!text) { $("reason").textContent = ""; return; }
  try {
    const answer = await call("POST", `/api/games/${play.state.id}/check`, { turn: play.state.turn, move: text });
    if (ticket === play.checking) $("reason").textContent = answer.reason ?? "";
  } catch (error) {
    if (ticket === play.checking) $("reason").textContent = error.message;
  }
}

async function send(text) {
  try {
    const state = await call("POST", `/api/games/${play.state.id}/moves`, { turn: play.state.turn, move: text });
    showGame(state);
  } catch (error) {
    $("reason").textContent = error.message;
  }
}

async function askHint() {
  const state = play.state;
  $("hint-panel").hidden = false;
  $("hint-title").textContent = `The search is thinking (${config.hint_playouts} playouts)…`;
  $("hint-bars").replaceChildren();
  $("hint-cancel").textContent = "Cancel the hint";
  try {
    const chosen = state.phase === "discard" ? moveText() : "";
    const hint = await call("POST", `/api/games/${state.id}/hint`, { turn: state.turn, chosen });
    if (play.state.turn !== state.turn) return;
    $("hint-title").textContent = hint.rows.length ? hint.title + (hint.tie ? " · 1 and 2 tie" : "")
      : `${hint.title}: none is legal (clear the cards chosen)`;
    renderBars($("hint-bars"), hint.rows);
  } catch (error) {
    $("hint-title").textContent = error.message;
  } finally {
    if (play.state.turn === state.turn) $("hint-cancel").textContent = "Close";  // nothing left to cancel
  }
}

// ---- Watch ---------------------------------------------------------------------------------

const watch = { file: null, game: null, step: 0 };

function leaveWatch() {
  if (watch.file) navigator.sendBeacon(`/api/watch/${watch.file.id}/leave`);
}

function showFile(summary) {
  leaveWatch();
  watch.file = summary;
  $("watch-error").textContent = "";
  $("watch-games").hidden = false;
  $("watch-name").textContent = summary.name;
  $("watch-game").replaceChildren(...summary.games.map((game) => el("option", {
    value: String(game.index),
    textContent: `seed ${game.seed} · ${game.seats.join(", ")} · ${game.result} at level ${game.level} · ${game.moves} moves`,
  })));
  loadGame(0);
}

async function loadGame(index) {
  try {
    watch.game = await call("GET", `/api/watch/${watch.file.id}/games/${index}`);
    watch.game.index = index;
    $("watch-board").hidden = false;
    $("step-range").max = String(watch.game.steps.length - 1);
    showStep(0);
  } catch (error) {
    $("watch-error").textContent = error.message;
  }
}

function showStep(step) {
  const steps = watch.game.steps;
  watch.step = Math.max(0, Math.min(steps.length - 1, step));
  const state = steps[watch.step];
  $("step-range").value = String(watch.step);
  $("step-label").textContent = `position ${watch.step} of ${steps.length - 1}`;
  $("step-said").textContent = state.move === null ? state.said : `Move ${watch.step + 1}: ${state.said}`;
  renderEnemy($("watch-enemy"), state);
  renderPiles($("watch-piles"), state);
  $("watch-hands").replaceChildren(el("h2", { textContent: "Hands" }), ...state.seats.map((seat) => {
    const acting = seat.seat === state.acting && state.move !== null;
    return el("div", { className: `seat${acting ? " acting" : ""}` },
      el("span", { textContent: `P${seat.seat} ${seat.spec}${acting ? ` · to ${state.phase === "discard" ? `discard ${state.discard_amount}` : state.phase}` : ""}` }),
      el("span", { className: "cards" }, ...seat.hand.map((card) => cardNode(card, "span", true))));
  }));
  const seatSpec = state.seats[state.acting].spec;
  const searched = state.move !== null && /^(mcts|strong|clairvoyant):/.test(seatSpec);
  $("search-here").disabled = !searched;
  $("search-note").textContent = searched ? `P${state.acting} played by ${seatSpec}: run its search again here`
    : state.move === null ? "" : `P${state.acting} (${seatSpec}) did not play by a search`;
  $("ranking").replaceChildren();
}

async function searchHere() {
  const playouts = $("search-playouts").value.trim();
  const step = watch.step;
  $("search-note").textContent = "searching…";
  $("ranking").replaceChildren();
  try {
    const body = { step };
    if (playouts) body.playouts = Number(playouts);
    const ranking = await call("POST", `/api/watch/${watch.file.id}/games/${watch.game.index}/search`, body);
    if (watch.step !== step) return;
    $("search-note").textContent = `${ranking.spec} at P${ranking.seat}'s move (played: ${ranking.played})`;
    renderBars($("ranking"), ranking.rows, ranking.played);
  } catch (error) {
    $("search-note").textContent = error.message;
  }
}

async function upload(event) {
  const file = event.target.files[0];
  if (!file) return;
  try {
    const summary = await call("POST", `/api/watch?name=${encodeURIComponent(file.name)}`, await file.text());
    showFile(summary);
  } catch (error) {
    $("watch-error").textContent = error.message;
  }
}

async function watchThisGame() {
  try {
    const summary = await call("POST", `/api/games/${play.state.id}/watch`);
    showTab("watch");
    showFile(summary);
  } catch (error) {
    $("reason").textContent = error.message;
  }
}

// ---- The page ------------------------------------------------------------------------------

function showTab(name) {
  $("play-view").hidden = name !== "play";
  $("watch-view").hidden = name !== "watch";
  $("tab-play").setAttribute("aria-pressed", String(name === "play"));
  $("tab-watch").setAttribute("aria-pressed", String(name === "watch"));
}

async function main() {
  config = await call("GET", "/api/config");
  $("players").value = String(Math.min(4, config.seats.length));
  seatInputs(Number($("players").value), config.seats);
  $("players").addEventListener("change", () => seatInputs(Number($("players").value), config.seats));
  $("setup").addEventListener("submit", startGame);
  $("play").addEventListener("click", () => send(moveText()));
  $("yield").addEventListener("click", () => send("y"));
  $("refill").addEventListener("click", () => send("r"));
  $("clear").addEventListener("click", () => { play.selected.clear(); showHand(play.state); check(); });
  $("hint").addEventListener("click", askHint);
  $("hint-cancel").addEventListener("click", () => {
    call("DELETE", `/api/games/${play.state.id}/hint`).catch(() => {});
    $("hint-panel").hidden = true;
  });
  $("again").addEventListener("click", () => { leaveGame(); play.state = null; $("table").hidden = true; $("setup").hidden = false; });
  $("watch-this").addEventListener("click", watchThisGame);
  $("tab-play").addEventListener("click", () => showTab("play"));
  $("tab-watch").addEventListener("click", () => showTab("watch"));
  $("watch-file").addEventListener("change", upload);
  $("watch-game").addEventListener("change", () => loadGame(Number($("watch-game").value)));
  $("step-first").addEventListener("click", () => showStep(0));
  $("step-prev").addEventListener("click", () => showStep(watch.step - 1));
  $("step-next").addEventListener("click", () => showStep(watch.step + 1));
  $("step-last").addEventListener("click", () => showStep(Infinity));
  $("step-range").addEventListener("input", () => showStep(Number($("step-range").value)));
  $("search-here").addEventListener("click", searchHere);
  $("search-cancel").addEventListener("click", () => {
    if (watch.file) call("POST", `/api/watch/${watch.file.id}/leave`).catch(() => {});
    $("search-note").textContent = "cancelled";
  });
  document.addEventListener("keydown", (event) => {
    if ($("watch-view").hidden || !watch.game || event.target.tagName === "INPUT") return;
    if (event.key === "ArrowLeft") showStep(watch.step - 1);
    if (event.key === "ArrowRight") showStep(watch.step + 1);
  });
  $("server-files").replaceChildren(...config.files.map((file) => {
    const button = el("button", { textContent: `${file.name} (${file.games.length} games)` });
    button.addEventListener("click", () => showFile(file));
    return button;
  }));
  // Leaving the page stops its searches on the server.
  window.addEventListener("pagehide", () => { leaveGame(); leaveWatch(); });
  document.body.dataset.ready = "true";
}

main().catch((error) => { $("setup-error").textContent = error.message; });
