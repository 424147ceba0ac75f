#!/usr/bin/env bash
# Prints the mirror that the system's own apt sources use for the release (the
# codename of /etc/os-release), from deb822 .sources files or one-line .list files;
# the security suite's mirror is skipped. Prints nothing and fails when none is found.
# The project's scripts take every mirror from here, so no host is written in them.
set -euo pipefail

codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
mirror=$(
  {
    # deb822: the URIs of a "deb" stanza whose Suites list the bare codename.
    for file in /etc/apt/sources.list.d/*.sources; do
      [ -e "$file" ] || continue
      awk -v codename="$codename" '
        function flush() { if (uris != "" && hit && deb) print uris; uris = ""; hit = 0; deb = 0 }
        /^[ \t]*$/ { flush(); next }
        tolower($1) == "types:" { for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1 }
        tolower($1) == "uris:" { uris = $2 }
        tolower($1) == "suites:" { for (i = 2; i <= NF; i++) if ($i == codename) hit = 1 }
        END { flush() }' "$file"
    done
    # one-line: "deb [options] URI SUITE COMPONENTS".
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      [ -e "$file" ] || continue
      sed -E 's/\[[^]]*\]//' "$file" | awk -v codename="$codename" '$1 == "deb" && $3 == codename { print $2 }'
    done
  } | awk '!/security/ && NF { print; exit }'
)
[ -n "$mirror" ] || exit 1
echo "$mirror"
