#!/usr/bin/env bash
# Converts a batch of six small files (one of them damaged) as a Slurm array job on this machine alone: it
# installs Slurm and MUNGE when they are missing (Debian 12, as root), starts a single-node controller and
# node daemon with a configuration of its own (nothing under /etc/slurm is written), submits the array,
# waits for it, prints each task's exit status and what it printed, then stops the daemons again.
# Usage: bench/slurm-array.sh   (builds first; not part of the test suite)
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "bench/slurm-array.sh installs and starts daemons: run it as root" >&2; exit 1; }
if ! command -v slurmctld >/dev/null || ! command -v munged >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends slurm-wlm munge >/dev/null
fi
[ -x build/kelvane-cli ] || make -s build >/dev/null
cli=$(realpath build/kelvane-cli)

work=$(realpath -m build/slurm)
rm -rf "$work"
mkdir -p "$work"/{in,out,logs,spool/ctld,spool/d,run}
for i in 1 2 3 4 5 6; do
  if [ "$i" -eq 4 ]; then
    head -c 4096 /dev/urandom >"$work/in/clip$i.avi"  # cannot be probed: exit status 3
  else
    ffmpeg -nostdin -v error -f lavfi -i "testsrc=size=160x120:rate=25:duration=2" \
      -f lavfi -i "sine=duration=2" -c:v mpeg4 -c:a mp2 "$work/in/clip$i.avi"
  fi
done

# MUNGE authenticates the daemons to each other; its key is made once.
[ -f /etc/munge/munge.key ] || { mungekey --create 2>/dev/null || create-munge-key -f; }
chown munge:munge /etc/munge/munge.key && chmod 400 /etc/munge/munge.key
mkdir -p /run/munge && chown munge:munge /run/munge
started_munge=no
if ! pgrep -x munged >/dev/null; then
  runuser -u munge -- /usr/sbin/munged
  started_munge=yes
fi

host=$(hostname -s)
export SLURM_CONF=$work/slurm.conf
cat >"$SLURM_CONF" <<EOF
ClusterName=kelvane-bench
SlurmctldHost=$host
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
StateSaveLocation=$work/spool/ctld
SlurmdSpoolDir=$work/spool/d
SlurmctldPidFile=$work/run/slurmctld.pid
SlurmdPidFile=$work/run/slurmd.pid
SlurmctldLogFile=$work/logs/slurmctld.log
SlurmdLogFile=$work/logs/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
NodeName=$host CPUs=$(nproc) State=UNKNOWN
PartitionName=batch Nodes=ALL Default=YES MaxTime=INFINITE State=UP
EOF
slurmctld
slurmd
stop() {
  scontrol shutdown >/dev/null 2>&1 || true
  sleep 1
  [ "$started_munge" = yes ] && [ -f /run/munge/munged.pid ] && kill "$(cat /run/munge/munged.pid)" || true
}
trap stop EXIT
for i in $(seq 30); do sinfo -h -o %T 2>/dev/null | grep -qE 'idle|mixed' && break; sleep 1; done
sinfo

# The array script as the README shows it: one file per task, requeued on 5 and 143.
cat >"$work/convert.sbatch" <<EOF
#!/bin/bash
#SBATCH --array=0-5 --cpus-per-task=1 --requeue --output=$work/logs/task-%a.out
files=($work/in/*.avi)
f=\${files[\$SLURM_ARRAY_TASK_ID]}
$cli convert --skip-existing --threads "\$SLURM_CPUS_PER_TASK" --progress json \\
    --report "$work/logs/report-\$SLURM_ARRAY_TASK_ID.json" -o vcodec=mpeg4 "\$f" "$work/out/\$(basename "\${f%.*}").mp4"
status=\$?
if [ \$status -eq 5 ] || [ \$status -eq 143 ]; then scontrol requeue "\$SLURM_JOB_ID"; fi
exit \$status
EOF
sbatch --wait "$work/convert.sbatch" || true
echo "--- exit status of each task (from its report)"
for i in 0 1 2 3 4 5; do
  printf 'task %s: ' "$i"
  grep -o '"status": [0-9]*' "$work/logs/report-$i.json" || echo "no report"
done
echo "--- the last line each task printed"
for i in 0 1 2 3 4 5; do printf 'task %s: %s\n' "$i" "$(tail -n 1 "$work/logs/task-$i.out")"; done
echo "--- outputs"
ls "$work/out"
