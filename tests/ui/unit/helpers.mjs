import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const WEB = path.resolve(here, '../../../www/lnf');
export const lnf = (module) => import(path.join(WEB, 'js', module));
