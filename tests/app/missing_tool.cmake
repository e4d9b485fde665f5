# Stands in for a test whose tool was not found when the build was configured.
message(FATAL_ERROR "${TOOL} not found: install the Debian package ${PACKAGE} "
                    "(scripts/deps.sh) and configure again")
