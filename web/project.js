// Turns what the user picked or dropped into a project for the engine: the
// project folder's name and the files of its "Audio Files" folder, each with its
// path under the project. A dropped or picked "Audio Files" folder stands for the
// project around it. A folder that is neither may hold projects at any depth (a
// recorder's disk): its project then has `disk()`, which reads the folder for the
// engine to search.

// The engine's names (texts.audioFolder, texts.unnamedProject): the folder that
// holds the takes, and the name a project goes by when only that folder was
// given. Set by useEngineNames before anything is loaded.
let kAudioFolder;
let kUnnamedProject;

export function useEngineNames(texts) {
  kAudioFolder = texts.audioFolder;
  kUnnamedProject = texts.unnamedProject;
}

// What <input webkitdirectory> gives: Files whose webkitRelativePath starts with
// the picked folder's name.
export function fromFileList(fileList) {
  const all = Array.from(fileList);
  if (all.length === 0) return { name: '', files: [], audioFolder: false };
  const parts = (file) => file.webkitRelativePath.split('/');
  const root = parts(all[0])[0];
  const pickedAudio = root === kAudioFolder && !all.some((f) => parts(f)[1] === kAudioFolder);
  const files = [];
  for (const file of all) {
    const rest = parts(file).slice(1);
    if (pickedAudio) files.push({ path: [kAudioFolder, ...rest].join('/'), file });
    else if (rest[0] === kAudioFolder) files.push({ path: rest.join('/'), file });
  }
  // A folder input names no empty folder: without a file in it, "Audio Files"
  // may be there or not (audioFolder undefined).
  const project = { name: pickedAudio ? kUnnamedProject : root, files,
    audioFolder: files.length > 0 ? true : undefined };
  if (!project.audioFolder) project.disk = async () => diskOfFileList(all, root);
  return project;
}

// ---- A folder of projects ----
// The engine searches a disk given its folders and the files of every "Audio
// Files" folder in it, each by its path from the disk's own folder on
// ("Disk/Gig/Audio Files/Take 01.wav"): {root, folders, files}.

function diskOfFileList(all, root) {
  const folders = new Set();
  const files = [];
  for (const file of all) {
    const parts = file.webkitRelativePath.split('/');
    for (let i = 1; i < parts.length; i += 1) folders.add(parts.slice(0, i).join('/'));
    if (parts.length > 2 && parts[parts.length - 2] === kAudioFolder) {
      files.push({ path: file.webkitRelativePath, file });
    }
  }
  return { root, folders: [...folders], files };
}

// The disk under `top`, whose name is `root`, read through `list` (a folder's
// entries as {name, isFolder, entry}) and `fileOf` (an entry's File).
async function walkDisk(root, top, list, fileOf) {
  const folders = [];
  const files = [];
  const pending = [[top, root]];
  while (pending.length > 0) {
    const [folder, path] = pending.pop();
    folders.push(path);
    const isAudio = path.endsWith(`/${kAudioFolder}`);
    for (const { name, isFolder, entry } of await list(folder)) {
      if (isFolder) pending.push([entry, `${path}/${name}`]);
      else if (isAudio) files.push({ path: `${path}/${name}`, file: await fileOf(entry) });
    }
  }
  return { root, folders, files };
}

async function handleList(folder) {
  const entries = [];
  for await (const [name, entry] of folder.entries()) {
    entries.push({ name, isFolder: entry.kind === 'directory', entry });
  }
  return entries;
}

// The entries of a folder dropped without handles (webkitGetAsEntry), through the
// older entries interface.
function readAll(folder) {
  return new Promise((resolve, reject) => {
    const reader = folder.createReader();
    const found = [];
    const next = () => reader.readEntries((batch) => {
      if (batch.length === 0) resolve(found);
      else {
        found.push(...batch);
        next();
      }
    }, reject);
    next();
  });
}

const fileOf = (entry) => new Promise((resolve, reject) => entry.file(resolve, reject));

async function entryList(folder) {
  return (await readAll(folder)).map((entry) => ({ name: entry.name, isFolder: entry.isDirectory, entry }));
}

// The project's name and its "Audio Files" folder (null when it has none), for a
// folder that is either; `audioFolderIn` finds the one inside a project folder.
async function folders(directory, audioFolderIn) {
  if (directory.name === kAudioFolder) return { name: kUnnamedProject, audio: directory };
  return { name: directory.name, audio: (await audioFolderIn(directory)) || null };
}

// What showDirectoryPicker() or a dropped folder's handle gives. The handles of
// "Audio Files" and of the takes are kept, so that the Save dialog's choice can be
// checked against the project.
export async function fromDirectoryHandle(directory) {
  const { name, audio } = await folders(directory,
    (d) => d.getDirectoryHandle(kAudioFolder).catch(() => null));
  const files = [];
  if (audio) {
    for await (const [entryName, entry] of audio.entries()) {
      if (entry.kind !== 'file') continue;
      files.push({ path: `${kAudioFolder}/${entryName}`, file: await entry.getFile(),
        handle: entry });
    }
  }
  const project = { name, files, audioHandle: audio, audioFolder: Boolean(audio) };
  if (!audio) {
    project.handle = directory;
    project.disk = () => walkDisk(directory.name, directory, handleList, (entry) => entry.getFile());
  }
  return project;
}

// A folder dropped without handles (webkitGetAsEntry).
export async function fromDirectoryEntry(directory) {
  const { name, audio } = await folders(directory,
    async (d) => (await readAll(d)).find((e) => e.isDirectory && e.name === kAudioFolder));
  const files = [];
  if (audio) {
    for (const entry of await readAll(audio)) {
      if (entry.isFile) files.push({ path: `${kAudioFolder}/${entry.name}`, file: await fileOf(entry) });
    }
  }
  const project = { name, files, audioFolder: Boolean(audio) };
  if (!audio) project.disk = () => walkDisk(directory.name, directory, entryList, fileOf);
  return project;
}

// The project in a drop: null when nothing of the file system was dropped, else
// a promise of the project, or of null when what was dropped is no folder.
// Handles and entries must be taken while the drop event is being handled.
export function fromDrop(dataTransfer) {
  const item = Array.from(dataTransfer.items || []).find((i) => i.kind === 'file');
  if (!item) return null;
  if (item.getAsFileSystemHandle) {
    const handle = item.getAsFileSystemHandle();
    return handle.then((h) => (h && h.kind === 'directory' ? fromDirectoryHandle(h) : null));
  }
  const entry = item.webkitGetAsEntry && item.webkitGetAsEntry();
  return Promise.resolve(entry && entry.isDirectory ? fromDirectoryEntry(entry) : null);
}

// Where an output chosen in a Save dialog lies, for the engine to judge: whether
// it is one of the project's takes (isTake), or a file in its "Audio Files"
// folder (inAudioFiles). With the project's handle the browser says where the
// file is; without it (a folder input) name, size and time of change are
// compared with the takes, a best effort.
export async function outputPlace(project, fileHandle) {
  if (project.audioHandle) {
    for (const take of project.files) {
      if (take.handle && await take.handle.isSameEntry(fileHandle)) return { isTake: true };
    }
    return { inAudioFiles: Boolean(await project.audioHandle.resolve(fileHandle)) };
  }
  const chosen = await fileHandle.getFile().catch(() => null);
  if (!chosen) return {};
  const same = project.files.some((t) => t.file.name === chosen.name && t.file.size === chosen.size
    && t.file.lastModified === chosen.lastModified);
  return { isTake: same };
}
