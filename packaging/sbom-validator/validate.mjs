// Validates a CycloneDX 1.5 JSON document with the CycloneDX library's own bundled schemas
// (strict: no property that the schema does not know), without the network:
//   node validate.mjs BOM.json
import { readFile } from 'node:fs/promises'
import { Validation } from '@cyclonedx/cyclonedx-library'

const [file] = process.argv.slice(2)
if (!file) {
  console.error('usage: node validate.mjs BOM.json')
  process.exit(2)
}
// The CycloneDX version whose schema the validator loads, as the library names versions.
const cycloneDxVersion = '1.5'
// The schema leaves specVersion free: a document of another version would be checked against
// rules that are not its own.
const text = await readFile(file, 'utf8')
const { specVersion } = JSON.parse(text)
if (specVersion !== cycloneDxVersion) {
  console.error(`${file} says CycloneDX ${specVersion}; this validator checks ${cycloneDxVersion}`)
  process.exit(1)
}
const validator = new Validation.JsonStrictValidator(cycloneDxVersion)
const error = await validator.validate(text)
if (error !== null) {
  console.error(`${file} is not valid CycloneDX 1.5:`)
  console.error(JSON.stringify(error, null, 2))
  process.exit(1)
}
console.log(`${file} is valid CycloneDX 1.5`)
