// Draws what the engine reports about a project: the status line, the timeline
// strip and the list of takes, accepted and refused.

const $ = (id) => document.getElementById(id);

// One colour per take, in the order the takes first appear on the timeline, as
// the window draws them.
const kTakeColours = ['#4e79a7', '#f28e2b', '#59a14f', '#e15759', '#76b7b2', '#b07aa1',
  '#edc948', '#9c755f'];
// How far a fade's edge slants, in pixels.
const kFadeSlant = 8;

// The status line, and under it why the folder is not a project while the line
// says so.
export function showStatus(report, texts) {
  $('status').textContent = report.status;
  const why = report.status === texts.notValidProject ? report.problem || '' : '';
  $('status-reason').textContent = why;
  $('status-reason').hidden = !why;
}

export function showTimeline(report) {
  const timeline = $('timeline');
  const strip = $('timeline-strip');
  strip.replaceChildren();
  const span = report.last_sample - report.first_sample;
  timeline.hidden = !report.valid || report.events.length === 0 || span <= 0;
  if (timeline.hidden) return;
  $('timeline-first').textContent = report.events[0].start;
  $('timeline-last').textContent = report.events[report.events.length - 1].end;
  const takeOf = new Map();
  for (const event of report.events) {
    if (!takeOf.has(event.file)) takeOf.set(event.file, takeOf.size);
    const block = document.createElement('div');
    block.className = 'block';
    block.style.left = `${(100 * (event.start_sample - report.first_sample)) / span}%`;
    block.style.width = `${(100 * (event.end_sample - event.start_sample)) / span}%`;
    block.style.background = kTakeColours[takeOf.get(event.file) % kTakeColours.length];
    const inset = (fades) => (fades ? `${kFadeSlant}px` : '0px');
    block.style.clipPath = `polygon(${inset(event.fade_in)} 0, calc(100% - ${inset(event.fade_out)}) 0, `
      + '100% 100%, 0 100%)';
    block.title = `${event.file}\n${event.start} – ${event.end}`;
    const label = document.createElement('span');
    label.textContent = event.file;
    block.append(label);
    strip.append(block);
  }
}

function cells(tag, texts) {
  return texts.map((text) => {
    const cell = document.createElement(tag);
    cell.textContent = text;
    return cell;
  });
}

// The entries of "Audio Files" as the window's takes panel lists them.
export function showTakes(report) {
  const { summary, columns, rows } = report.takes;
  const takes = $('takes');
  const list = $('takes-list');
  list.replaceChildren();
  takes.hidden = rows.length === 0;
  $('takes-summary').textContent = summary;
  $('takes-head').replaceChildren(...cells('th', columns));
  for (const take of rows) {
    const row = document.createElement('tr');
    if (!take.accepted) row.className = 'refused';
    else if (take.truncated) row.className = 'truncated';
    row.append(...cells('td', take.cells));
    list.append(row);
  }
  // Refusals and cut-short takes are news: show them at once.
  if (rows.some((take) => !take.accepted || take.truncated)) takes.open = true;
}

// After a run: the takes it wrote as silence say so in the list, not "accepted".
export function markSilenced(names, texts) {
  const silenced = new Set(names);
  for (const row of $('takes-list').rows) {
    if (!silenced.has(row.cells[texts.nameColumn].textContent)) continue;
    row.className = 'silenced';
    row.cells[texts.statusColumn].textContent = texts.silencedTake;
  }
}

// ---- A folder of projects ----

// The projects found, as the window lists them: each with a checkbox, on for
// every valid project, and its status line. `checked` keeps the user's choices
// of an earlier listing (by path).
export function showProjects(projects, texts, checked = null) {
  $('projects-head').replaceChildren(...cells('th', texts.projectColumns));
  const list = $('projects-list');
  list.replaceChildren();
  for (const project of projects) {
    const box = document.createElement('input');
    box.type = 'checkbox';
    box.value = project.project;
    box.checked = checked ? checked.has(project.project) : project.valid;
    const name = document.createElement('label');
    const path = document.createElement('bdi');
    path.textContent = project.project;
    name.append(box, ' ', path);
    const row = document.createElement('tr');
    if (!project.valid) row.className = 'refused';
    const first = document.createElement('td');
    first.append(name);
    row.append(first, ...cells('td', [project.status]));
    list.append(row);
  }
}

// The paths of the projects whose box is on.
export function chosenProjects() {
  return Array.from($('projects-list').querySelectorAll('input:checked'), (box) => box.value);
}

// The report at the end of a batch, one row per project.
export function showReport(projects, texts) {
  $('report-head').replaceChildren(...cells('th', texts.batchColumns));
  $('report-list').replaceChildren(...projects.map((project) => {
    const row = document.createElement('tr');
    if (project.state === 'failed') row.className = 'refused';
    row.append(...cells('td', project.cells));
    return row;
  }));
  $('report').hidden = false;
}
