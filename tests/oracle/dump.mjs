#!/usr/bin/env node
// Test oracle: reads a Jet 4 database with the independent npm reader "mdb-reader" and
// prints what it sees, so the tests can compare our engine's answers against it.
//
//   node dump.mjs FILE [--password PW] tables          user table names, one per line
//   node dump.mjs FILE [--password PW] columns TABLE   JSON array of {name, type, size, autoLong}
//   node dump.mjs FILE [--password PW] rows TABLE      one JSON object per row and line
//   node dump.mjs FILE [--password PW] all             every user table, one per line:
//                                                       {"table", "columns", "rows"}
//
// Row values: Buffers become lowercase hex strings, Dates ISO 8601 strings (mdb-reader
// builds them as UTC from the stored day count, so the "Z" time is the stored wall-clock
// time), bigints decimal strings; everything else is printed as mdb-reader returns it.
// Exit status: 0 done, 1 the database or table could not be read, 2 bad usage.

import { readFileSync, writeSync } from "node:fs";
import MDBReader from "mdb-reader";

const USAGE = "usage: node dump.mjs FILE [--password PW] (tables | all | columns TABLE | rows TABLE)";

function fail(message, status) {
  process.stderr.write(`dump.mjs: ${message}\n`);
  process.exit(status);
}

function parseArgs(argv) {
  let password;
  const positional = [];
  for (let i = 0; i < argv.length; i++) {
    const arg = argv[i];
    if (arg === "--password" || arg === "-p") {
      if (i + 1 >= argv.length) fail(`${arg} needs a value\n${USAGE}`, 2);
      password = argv[++i];
    } else if (arg.startsWith("--password=")) {
      password = arg.slice("--password=".length);
    } else {
      positional.push(arg);
    }
  }
  const [file, command, table, ...extra] = positional;
  const needsTable = command === "columns" || command === "rows";
  if (!file || !["tables", "all", "columns", "rows"].includes(command) ||
      (needsTable && table === undefined) || (!needsTable && table !== undefined) ||
      extra.length > 0) {
    fail(USAGE, 2);
  }
  return { file, password, command, table };
}

// Turns one value from mdb-reader into something JSON.stringify prints the way we want.
function columnsOf(target) {
  return target.getColumns().map(({ name, type, size, autoLong }) =>
    ({ name, type, size, autoLong }));
}

function plain(value) {
  if (value === null || value === undefined) return null;
  if (Buffer.isBuffer(value)) return value.toString("hex");
  if (value instanceof Date) {
    return Number.isNaN(value.getTime()) ? "invalid-date" : value.toISOString();
  }
  if (typeof value === "bigint") return value.toString();
  if (Array.isArray(value)) return value.map(plain);
  if (typeof value === "object") {
    const out = {};
    for (const [key, inner] of Object.entries(value)) out[key] = plain(inner);
    return out;
  }
  return value;
}

// Synchronous writes: output goes to a pipe the tests read, and a reader that stops early
// (head) must simply end the dump.
let pending = "";
function emit(line) {
  pending += line + "\n";
  if (pending.length >= 1 << 16) flush();
}
function flush() {
  let offset = 0;
  const bytes = Buffer.from(pending, "utf8");
  pending = "";
  while (offset < bytes.length) {
    try {
      offset += writeSync(1, bytes, offset);
    } catch (error) {
      if (error.code === "EAGAIN") continue;
      if (error.code === "EPIPE") process.exit(0);
      throw error;
    }
  }
}

const { file, password, command, table } = parseArgs(process.argv.slice(2));

let reader;
try {
  reader = new MDBReader(readFileSync(file), { password });
} catch (error) {
  fail(`cannot open ${file}: ${error.message}`, 1);
}

try {
  if (command === "tables") {
    for (const name of reader.getTableNames()) emit(name);
  } else if (command === "all") {
    // One process for a whole file: the upgrade tests check every table of many files.
    for (const name of reader.getTableNames()) {
      const target = reader.getTable(name);
      const rows = target.getData().map(plain);
      emit(JSON.stringify({ table: name, columns: columnsOf(target), rows }));
    }
  } else {
    const target = reader.getTable(table);
    if (command === "columns") {
      emit(JSON.stringify(columnsOf(target)));
    } else {
      for (const row of target.getData()) emit(JSON.stringify(plain(row)));
    }
  }
} catch (error) {
  fail(`${command}${table === undefined ? "" : ` ${table}`}: ${error.message}`, 1);
}
flush();
