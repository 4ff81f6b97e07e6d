// Reads or writes a table with the npm package dbffile, as JSON lines.
//   node dbffile_tool.js MODULE_DIR read TABLE
//     prints {"records":N,"updated":"yyyy-mm-dd","fields":[...]} and then one line per record
//     (dates as "yyyy-mm-dd", blanks as null)
//   node dbffile_tool.js MODULE_DIR write TABLE VERSION < {"fields":[...],"records":[...]}
//     creates the table (version as a number) and appends the records (dates as "yyyy-mm-dd")
'use strict';
const path = require('path');

function day(date) {
  return date.toISOString().slice(0, 10);
}

async function read(DBFFile, table) {
  const dbf = await DBFFile.open(table, {encoding: 'win1252'});
  const header = {records: dbf.recordCount, updated: day(dbf.dateOfLastUpdate), fields: dbf.fields};
  process.stdout.write(JSON.stringify(header) + '\n');
  for await (const record of dbf) {
    const row = {};
    for (const [name, value] of Object.entries(record)) row[name] = value instanceof Date ? day(value) : value;
    process.stdout.write(JSON.stringify(row) + '\n');
  }
}

async function write(DBFFile, table, version) {
  let input = '';
  for await (const chunk of process.stdin) input += chunk;
  const spec = JSON.parse(input);
  const dates = spec.fields.filter((f) => f.type === 'D' || f.type === 'T').map((f) => f.name);
  const records = spec.records.map((r) => {
    const out = Object.assign({}, r);
    for (const name of dates) if (out[name] !== null && out[name] !== undefined) out[name] = new Date(out[name]);
    return out;
  });
  const dbf = await DBFFile.create(table, spec.fields, {fileVersion: Number(version), encoding: 'win1252'});
  await dbf.appendRecords(records);
}

async function main() {
  const [moduleDir, verb, table, version] = process.argv.slice(2);
  const {DBFFile} = require(path.resolve(moduleDir, 'dbffile'));
  if (verb === 'read') return read(DBFFile, table);
  if (verb === 'write') return write(DBFFile, table, version);
  throw new Error('usage: dbffile_tool.js MODULE_DIR read|write TABLE [VERSION]');
}

main().catch((e) => {
  process.stderr.write('dbffile: ' + e.message + '\n');
  process.exit(1);
});
