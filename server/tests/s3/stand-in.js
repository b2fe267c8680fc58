// SPDX-License-Identifier: GPL-3.0-or-later
// An S3-compatible server for the tests: path-style buckets, SigV4 checked with the given key
// pair, objects in DIRECTORY. Prints the port it listens on, then runs until it is killed, or
// with --exit-with-stdin until its standard input ends (a test process that died).
'use strict';
const S3rver = require('@20minutes/s3rver');
const { DUMMY_ACCOUNT } = require('@20minutes/s3rver/lib/models/account');

const [directory, bucket, accessKey, secretKey, lifeline] = process.argv.slice(2);
if (lifeline === '--exit-with-stdin') process.stdin.on('end', () => process.exit(0)).resume();
DUMMY_ACCOUNT.createKeyPair(accessKey, secretKey);
new S3rver({
  address: '127.0.0.1',
  port: 0,
  silent: true,
  directory,
  vhostBuckets: false,
  configureBuckets: [{ name: bucket }],
})
  .run()
  .then(({ port }) => console.log(`listening on ${port}`));
