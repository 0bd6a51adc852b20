// Conformance check of the sandbox with Node's tedious driver, which decodes every token
// independently of our code. Usage: node conformance.js PORT PASSWORD
// Prints one line per check ("ok name" or "not ok name: detail") and exits non-zero on failure.
'use strict';
const { Connection, Request } = require('tedious');

const [port, password] = process.argv.slice(2);
let failures = 0;
function check(name, condition, detail) {
  if (condition) console.log(`ok ${name}`);
  else { failures++; console.log(`not ok ${name}: ${detail}`); }
}

function run(connection, sql) {
  return new Promise((resolve) => {
    const rows = [];
    const request = new Request(sql, (error, rowCount) => resolve({ error, rowCount, rows }));
    request.on('row', (columns) => rows.push(columns.map((c) => c.value)));
    connection.execSqlBatch(request);
  });
}

function connect(tdsVersion) {
  return new Promise((resolve, reject) => {
    const connection = new Connection({
      server: '127.0.0.1',
      authentication: { type: 'default', options: { userName: 'sa', password } },
      options: { port: Number(port), encrypt: false, tdsVersion, connectTimeout: 5000, requestTimeout: 5000 },
    });
    connection.on('connect', (error) => (error ? reject(error) : resolve(connection)));
    connection.connect();
  });
}

(async () => {
  for (const version of ['7_1', '7_4']) {
    let connection;
    try {
      connection = await connect(version);
    } catch (error) {
      check(`login with tdsVersion ${version}`, false, error.message);
      continue;
    }
    check(`login with tdsVersion ${version}`, true);
    const types = await run(connection,
      "select cast(42 as int), cast(12.5 as decimal(10,2)), N'中文', '中文', cast(null as varchar(5)), " +
      "cast('2024-01-15 13:45:30' as datetime), cast(1 as bit), cast(7 as bigint), cast(2.5 as money)");
    const row = types.rows[0] || [];
    check(`types ${version}`, !types.error && row[0] === 42 && row[1] === 12.5 && row[2] === '中文' && row[3] === '中文' &&
          row[4] === null && row[5] instanceof Date && row[6] === true && row[7] === '7' && row[8] === 2.5,
          JSON.stringify(row) + (types.error ? types.error.message : ''));
    const batch = await run(connection, 'create table #n (v int) insert #n values (1) insert #n values (2) select sum(v) from #n');
    check(`batch ${version}`, !batch.error && batch.rows.length === 1 && batch.rows[0][0] === 3 && batch.rowCount === 3,
          JSON.stringify(batch));
    const failed = await run(connection, 'select * from no_such_table');
    check(`error ${version}`, failed.error && failed.error.number === 208, failed.error && failed.error.message);
    const after = await run(connection, 'select 1');
    check(`after error ${version}`, !after.error && after.rows[0][0] === 1, JSON.stringify(after));
    connection.close();
  }
  process.exit(failures === 0 ? 0 : 1);
})();
