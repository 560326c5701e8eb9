#!/bin/bash
# Installs and starts the PostgreSQL and MariaDB servers that the message-flow tests and
# benchmarks run against, each as its own system user and listening on loopback only, and
# prepares a login for the tests. Run as root. Everything it reports goes to stderr; stdout
# carries only the lines meant for eval:
#
#   eval "$(bash .ci/databases.sh)"
#
# sets VELMORA_TEST_PGSQL and VELMORA_TEST_MYSQL (connection strings in the gateway's ADO form)
# and VELMORA_TEST_PGSQL_CTL / VELMORA_TEST_MYSQL_CTL (a command that takes "stop" or "start",
# used by the tests that restart a server while messages flow), and VELMORA_TEST_PGSQL_PIDFILE
# (the PostgreSQL server's pid file, for the test that freezes it).
#
# The test login may create databases whose names start with velmora (the tests make one per
# test case so that they can run in parallel).
set -euo pipefail

say() { echo "databases.sh: $*" >&2; }

if [ "$(id -u)" != 0 ]; then
    say "must run as root"
    exit 1
fi

TEST_USER=velmora
TEST_PASSWORD=velmora
TEST_DB=velmora_test

export DEBIAN_FRONTEND=noninteractive
packages="postgresql mariadb-server"
if ! apt-get install -y -qq $packages >/dev/null 2>&1; then
    say "installing $packages"
    apt-get update -qq >&2
    apt-get install -y -qq $packages >&2
fi

# ---- PostgreSQL -------------------------------------------------------------------------------
pg_version=$(pg_lsclusters -h 2>/dev/null | awk 'NR==1 {print $1}')
if [ -z "$pg_version" ]; then
    pg_version=$(ls /usr/lib/postgresql | sort -V | tail -n1)
    say "creating PostgreSQL cluster $pg_version/main"
    pg_createcluster "$pg_version" main >&2
fi
pg_cluster=$(pg_lsclusters -h | awk -v v="$pg_version" '$1 == v {print $2; exit}')
pg_port=$(pg_lsclusters -h | awk -v v="$pg_version" -v c="$pg_cluster" '$1 == v && $2 == c {print $3}')
pg_conf=/etc/postgresql/$pg_version/$pg_cluster
# Loopback only; the Debian default already says so, this keeps it so.
if ! grep -q "^listen_addresses = 'localhost'" "$pg_conf/postgresql.conf"; then
    echo "listen_addresses = 'localhost'" >>"$pg_conf/postgresql.conf"
fi
if ! pg_ctlcluster "$pg_version" "$pg_cluster" status >/dev/null 2>&1; then
    say "starting PostgreSQL $pg_version/$pg_cluster on port $pg_port"
    pg_ctlcluster "$pg_version" "$pg_cluster" start >&2
fi
for _ in $(seq 1 60); do
    if su postgres -c "psql -p $pg_port -qAtc 'select 1'" >/dev/null 2>&1; then
        break
    fi
    sleep 0.5
done
su postgres -c "psql -p $pg_port -v ON_ERROR_STOP=1 -q" >&2 <<EOF
DO \$\$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = '$TEST_USER') THEN
        CREATE ROLE $TEST_USER LOGIN CREATEDB PASSWORD '$TEST_PASSWORD';
    ELSE
        ALTER ROLE $TEST_USER LOGIN CREATEDB PASSWORD '$TEST_PASSWORD';
    END IF;
END
\$\$;
SELECT 'CREATE DATABASE $TEST_DB OWNER $TEST_USER ENCODING ''UTF8'' TEMPLATE template0'
WHERE NOT EXISTS (SELECT FROM pg_database WHERE datname = '$TEST_DB')\gexec
EOF

# ---- MariaDB ----------------------------------------------------------------------------------
# A server of its own for the tests, with its own data folder, socket and port, so that a MariaDB
# the machine already runs (and its data) is never touched. The statements write the table as
# both SMS and sms, so this server compares table names without regard to case.
here=$(cd "$(dirname "$0")" && pwd)
mysql_ctl="bash $here/mariadb-instance.sh"
$mysql_ctl start >&2
mysql_port=$($mysql_ctl port)
lctn=$($mysql_ctl client -NBe 'select @@lower_case_table_names')
if [ "$lctn" != 1 ]; then
    say "the test MariaDB runs with lower_case_table_names=$lctn, expected 1"
    exit 1
fi
$mysql_ctl client >&2 <<EOF
CREATE DATABASE IF NOT EXISTS $TEST_DB CHARACTER SET utf8mb4;
CREATE USER IF NOT EXISTS '$TEST_USER'@'localhost' IDENTIFIED BY '$TEST_PASSWORD';
CREATE USER IF NOT EXISTS '$TEST_USER'@'127.0.0.1' IDENTIFIED BY '$TEST_PASSWORD';
ALTER USER '$TEST_USER'@'localhost' IDENTIFIED BY '$TEST_PASSWORD';
ALTER USER '$TEST_USER'@'127.0.0.1' IDENTIFIED BY '$TEST_PASSWORD';
GRANT ALL PRIVILEGES ON \`velmora%\`.* TO '$TEST_USER'@'localhost';
GRANT ALL PRIVILEGES ON \`velmora%\`.* TO '$TEST_USER'@'127.0.0.1';
FLUSH PRIVILEGES;
EOF

say "PostgreSQL $pg_version on 127.0.0.1:$pg_port, MariaDB on 127.0.0.1:$mysql_port"
echo "export VELMORA_TEST_PGSQL='Provider=PostgreSQL; Data Source=127.0.0.1; Port=$pg_port; Initial Catalog=$TEST_DB; User Id=$TEST_USER; Password=$TEST_PASSWORD'"
echo "export VELMORA_TEST_MYSQL='Provider=MariaDB; Data Source=127.0.0.1; Port=$mysql_port; Initial Catalog=$TEST_DB; User Id=$TEST_USER; Password=$TEST_PASSWORD'"
echo "export VELMORA_TEST_PGSQL_CTL='pg_ctlcluster $pg_version $pg_cluster'"
pg_data=$(pg_lsclusters -h | awk -v v="$pg_version" -v c="$pg_cluster" '$1 == v && $2 == c {print $6}')
echo "export VELMORA_TEST_PGSQL_PIDFILE='$pg_data/postmaster.pid'"
echo "export VELMORA_TEST_MYSQL_CTL='$mysql_ctl'"
