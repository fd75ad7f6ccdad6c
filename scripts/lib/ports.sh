# Sourced by scripts/demo and scripts/test: tells the user what holds a port that Tessaro needs,
# and how to free it, instead of touching anyone's service.

# The program, process id and (when it is known) service that listen on PROTO PORT at ADDRESS,
# the wildcard address included; nothing when the port is free there.
port_holder() {
    local proto=$1 port=$2 address=$3 flag line local_address pid program package service=""
    case "$proto" in tcp) flag=-t ;; udp) flag=-u ;; esac
    while read -r line; do
        local_address=$(awk '{print $4}' <<<"$line")
        case "$local_address" in
            "0.0.0.0:$port" | "*:$port" | "[::]:$port" | "$address:$port") ;;
            *) continue ;;
        esac
        pid=$(grep -o 'pid=[0-9]*' <<<"$line" | head -n 1 | cut -d= -f2)
        program=$(grep -o '(("[^"]*"' <<<"$line" | head -n 1 | cut -d'"' -f2)
        if [ -n "$pid" ]; then
            service=$(grep -o '[^/]*\.service' "/proc/$pid/cgroup" 2>/dev/null | tail -n 1 || true)
            if [ -z "$service" ]; then
                package=$(dpkg -S "$(readlink -f "/proc/$pid/exe" 2>/dev/null)" 2>/dev/null | cut -d: -f1 || true)
                [ -n "$package" ] && [ -e "/etc/init.d/$package" ] && service=$package
            fi
        fi
        echo "${program:-a program} (pid ${pid:-unknown})${service:+, service ${service%.service}}"
        return
    done < <(ss -H -l -n -p "$flag" "sport = :$port" 2>/dev/null)
}

# Ends the script with a message when PROTO PORT at ADDRESS is taken.
require_free_port() {
    local proto=$1 port=$2 address=$3 purpose=$4 holder
    holder=$(port_holder "$proto" "$port" "$address")
    [ -z "$holder" ] && return 0
    echo "scripts/$(basename "$0"): $proto port $port is held by $holder; $purpose needs it." >&2
    case "$holder" in
        *", service "*) echo "Stop that service while you run this, e.g.: sudo service ${holder##*, service } stop" >&2 ;;
        *) echo "Stop that program while you run this." >&2 ;;
    esac
    exit 1
}
