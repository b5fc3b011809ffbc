// Bundles the playground page into the site folder (the first argument):
// page.js and worker.js from src/, with the project's examples and their
// tests built in, beside index.html and style.css. korvid.js, the
// WebAssembly module, is put there by the CMake build.
import { build } from 'esbuild';
import { copyFileSync, readdirSync, readFileSync, existsSync, mkdirSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const root = join(here, '..', '..');
const site = process.argv[2];
if (!site) {
  console.error('usage: node build.mjs SITE-FOLDER');
  process.exit(2);
}
mkdirSync(site, { recursive: true });

// The examples as the page's "Examples" choice offers them: each source
// with its test file, whose `source` line names it.
function examples() {
  const folder = join(root, 'examples');
  return readdirSync(folder)
    .filter((n) => n.endsWith('.src'))
    .sort()
    .map((name) => {
      const test = join(folder, 'tests', name.replace(/\.src$/, '.test'));
      return {
        name,
        source: readFileSync(join(folder, name), 'latin1'),
        test: existsSync(test) ? readFileSync(test, 'latin1') : '',
      };
    });
}

const examplesPlugin = {
  name: 'korvid-examples',
  setup(b) {
    b.onResolve({ filter: /^korvid:examples$/ }, () => ({ path: 'examples', namespace: 'korvid' }));
    b.onLoad({ filter: /.*/, namespace: 'korvid' }, () => ({
      contents: `export const examples = ${JSON.stringify(examples())};`,
      loader: 'js',
      watchFiles: [join(root, 'examples')],
    }));
  },
};

const common = { bundle: true, minify: true, target: 'es2022', legalComments: 'none', logLevel: 'warning' };
await build({ ...common, entryPoints: [join(here, 'src', 'main.js')], outfile: join(site, 'page.js'), format: 'iife', plugins: [examplesPlugin] });
await build({ ...common, entryPoints: [join(here, 'src', 'worker.js')], outfile: join(site, 'worker.js'), format: 'iife' });
for (const name of ['index.html', 'style.css']) copyFileSync(join(here, name), join(site, name));
