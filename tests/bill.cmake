# CycloneDX's own validator (Debian 13's python3-cyclonedx-lib) accepts the package's bill.
#
#   cmake -DBILL=<bom.cdx.json> -P bill.cmake
include("${CMAKE_CURRENT_LIST_DIR}/check.cmake")
run(out python3 -c [[
import sys
from cyclonedx.schema import SchemaVersion
from cyclonedx.validation.json import JsonStrictValidator
error = JsonStrictValidator(SchemaVersion.V1_6).validate_str(open(sys.argv[1]).read())
if error:
    sys.exit(f"not a valid CycloneDX 1.6 document: {error}")
]] "${BILL}")
message("PASS bill: a valid CycloneDX 1.6 document")
