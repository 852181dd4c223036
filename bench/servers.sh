# Private sound servers for the playback benchmark, as the end-to-end tests start them: each in
# a runtime directory of its own with a null sink "tap" (S24LE, 44100 Hz, stereo), reached by
# ALSA's "default" through a private ALSA configuration, and stopped by its process group.
# Source this file; it needs pulseaudio/parec or pipewire/wireplumber/pw-record and ALSA's
# pulse or PipeWire plugin.

# The PipeWire ALSA plugin: the installed one, or the copy scripts/install-deps.sh takes out of
# pipewire-alsa.
pipewire_plugin() {
  local root=$1 name=libasound_module_pcm_pipewire.so installed
  installed=$(ls /usr/lib/*/alsa-lib/$name 2>/dev/null | head -n 1)
  [ -n "$installed" ] && { echo "$installed"; return; }
  find "$root/build-deps/pipewire-alsa" -name $name 2>/dev/null | head -n 1
}

# What the server's row needs that this machine lacks, as a sentence naming the command that
# gets it; nothing when all is there.
missing_for() {
  local server=$1 root=$2 tool tools=() lacking=()
  if [ "$server" = pulseaudio ]; then
    tools=(pulseaudio parec)
    ls /usr/lib/*/alsa-lib/libasound_module_pcm_pulse.so >/dev/null 2>&1 ||
      lacking+=("ALSA's pulse plugin (libasound2-plugins)")
  else
    tools=(pipewire wireplumber pw-record dbus-run-session)
    [ -n "$(pipewire_plugin "$root")" ] || lacking+=("PipeWire's ALSA plugin")
  fi
  for tool in "${tools[@]}" aplay python3; do
    command -v "$tool" >/dev/null || lacking+=("$tool")
  done
  [ ${#lacking[@]} -eq 0 ] && return 0
  local joined
  joined=$(printf '%s, ' "${lacking[@]}")
  echo "missing ${joined%, }: scripts/install-deps.sh test gets them"
}

# Writes $dir/alsa.conf: the system's configuration with only our "default" added (the system's
# own conf.d hook would add its "default" after ours).
write_alsa_config() {
  local server=$1 dir=$2 root=$3
  printf '</usr/share/alsa/alsa.conf>\n@hooks [ { func load files [ "%s" ] } ]\n' \
    "$dir/devices.conf" >"$dir/alsa.conf"
  if [ "$server" = pulseaudio ]; then
    printf 'pcm.!default { type pulse server "unix:%s" }\n' "$dir/pulse/native" >"$dir/devices.conf"
  else
    printf 'pcm_type.pipewire { lib "%s" }\npcm.!default { type pipewire }\n' \
      "$(pipewire_plugin "$root")" >"$dir/devices.conf"
  fi
}


wait_for_file() {
  local i
  for i in $(seq 200); do [ -e "$1" ] && return 0; sleep 0.1; done
  return 1
}

# start_server pulseaudio|pipewire DIR ROOT: starts the server in a new process group and
# exports what the players and recorders need. Sets server_group to the group's id.
start_server() {
  local server=$1 dir=$2 root=$3
  export XDG_RUNTIME_DIR=$dir ALSA_CONFIG_PATH=$dir/alsa.conf PULSE_SERVER=unix:$dir/pulse/native
  unset PIPEWIRE_REMOTE PIPEWIRE_RUNTIME_DIR
  write_alsa_config "$server" "$dir" "$root"
  if [ "$server" = pulseaudio ]; then
    setsid pulseaudio -n --daemonize=no --exit-idle-time=-1 -L \
      "module-null-sink sink_name=tap format=s24le rate=44100 channels=2 norewinds=1" \
      -L module-native-protocol-unix </dev/null >"$dir/server.log" 2>&1 &
    server_group=$!
    wait_for_file "$dir/pulse/native"
  else
    cp "$root/tests/e2e/pipewire.conf" "$dir/pipewire.conf"
    setsid bash -c 'pipewire -c "$1/pipewire.conf" & until [ -e "$1/pipewire-0" ]; do sleep 0.1; done
      dbus-run-session -- wireplumber & wait' _ "$dir" </dev/null >"$dir/server.log" 2>&1 &
    server_group=$!
    wait_for_file "$dir/pipewire-0"
  fi
}

stop_server() {
  kill -KILL -- "-$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# start_recorder SERVER FILE: records the sink; sets recorder to its pid once it records.
start_recorder() {
  local server=$1 file=$2 header=0 i
  if [ "$server" = pulseaudio ]; then
    parec -d tap.monitor --latency-msec=20 --format=s24le --rate=44100 --channels=2 --raw \
      >"$file" 2>/dev/null </dev/null &
    recorder=$!
  else
    pw-record --target tap -P '{ stream.capture.sink=true }' --format s24 --rate 44100 \
      --channels 2 "$file" </dev/null >/dev/null 2>&1 &
    header=44
  fi
  recorder=$!
  for i in $(seq 500); do
    [ "$(stat -c %s "$file" 2>/dev/null || echo 0)" -gt $header ] && break
    sleep 0.02
  done
  sleep 0.2
}
