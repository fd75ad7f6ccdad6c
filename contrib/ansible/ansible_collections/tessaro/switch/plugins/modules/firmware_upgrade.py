#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: firmware_upgrade
short_description: Upgrade managed Ethernet switches from release 743 to 746 with tessaro-run
version_added: "1.0.0"
description:
  - Runs C(tessaro-run --inventory FILE --json) on the host the task targets, normally the PC of one
    site, for the switches listed in I(switches). For each switch tessaro-run saves the configuration
    to I(backup), sends the intermediate image from its own TFTP server, resets the switch and watches
    its own upgrade to the final release; a switch that already runs the final version is left alone.
  - The targeted host needs C(tessaro-run), telnet (TCP 23) and SNMP (UDP 161) reach to its switches,
    and UDP port 69 for the TFTP server, so the task runs as root (C(become)) or C(tessaro-run) has the
    capability to bind low ports.
  - The switches' passwords reach C(tessaro-run) as files in a private temporary folder on the host
    (mode 0700, files 0600), never in its arguments or its environment. The folder is removed when the
    module ends, whether the run succeeded, failed or was interrupted.
  - The task fails when any switch does not end on the final version (outcome C(done) or
    C(already-final)); the message names those switches, and the results of every switch are
    returned all the same.
  - A whole upgrade takes four to five minutes per switch. Over SSH, run the task with C(async) and
    C(poll) so that a dropped connection does not cut the run short.
options:
  switches:
    description:
      - The switches this host upgrades, each given once.
    type: list
    elements: dict
    required: true
    suboptions:
      address:
        description:
          - The switch's IPv4 address.
        type: str
        required: true
      backup:
        description:
          - Absolute path on the targeted host where the switch's configuration is saved before
            anything changes. Its folder must exist.
          - The run's record (C(Quillo_ADDRESS.result.json)), report (C(Quillo_ADDRESS.report.html))
            and log (C(Quillo_ADDRESS.log)) go to the same folder. A file already at this path is
            kept as C(NAME.old1.EXT) (the first free number) before the new backup is written.
          - Two switches cannot share one backup path.
        type: path
        required: true
      user:
        description:
          - The user name of the switch's command line, privilege level 15.
          - Default is the module's I(user).
        type: str
      password:
        description:
          - The switch's password. Default is the module's I(password).
        type: str
      after_reset:
        description:
          - How the switch finds its address after its resets.
          - Default is the module's I(after_reset).
        type: str
        choices: [ default, dhcp ]
  user:
    description:
      - The user name for every switch that does not name its own.
    type: str
  password:
    description:
      - The password for every switch that does not have its own. Keep it in a vault.
    type: str
  after_reset:
    description:
      - How the switches find their addresses after their resets, unless a switch says otherwise.
      - C(default) keeps the configured address, C(dhcp) asks a DHCP server.
    type: str
    choices: [ default, dhcp ]
    default: default
  parallel:
    description:
      - How many switches C(tessaro-run) upgrades at once.
      - When not set, C(tessaro-run) chooses.
    type: int
  executable:
    description:
      - The name of C(tessaro-run) on the host's PATH, or its full path.
    type: path
    default: tessaro-run
extends_documentation_fragment:
  - ansible.builtin.action_common_attributes
attributes:
  check_mode:
    support: full
    details: Runs C(tessaro-run --plan), which logs in, reads each switch's inventory and tells what a run
      would do. Nothing but the log-in and C(show) commands reaches the switches.
  diff_mode:
    support: none
  platform:
    platforms: posix
notes:
  - A switch is C(changed) once its run changed anything on it, also when the run then failed. In check
    mode a switch that would be upgraded reports C(changed).
requirements:
  - C(tessaro-run) with inventory support on the targeted host.
author:
  - Tessaro developers
'''

EXAMPLES = r'''
- name: Upgrade the site's switches, two at a time
  tessaro.switch.firmware_upgrade:
    user: admin
    password: "{{ vault_tessaro_password }}"
    parallel: 2
    switches:
      - address: 192.0.2.10
        backup: /srv/tessaro/backups/sw-core-1.cfg
      - address: 192.0.2.11
        backup: /srv/tessaro/backups/sw-floor-2.cfg
        after_reset: dhcp
      - address: 192.0.2.12
        backup: /srv/tessaro/backups/sw-lab.cfg
        user: lab
        password: "{{ vault_lab_switch_password }}"
  become: true
  async: 7200
  poll: 30
  register: upgrade

- name: Show where each switch's report is
  ansible.builtin.debug:
    msg: "{{ item.address }}: {{ item.outcome }}, {{ item.version_before }} -> {{ item.version_after }}, {{ item.report_path }}"
  loop: "{{ upgrade.switches }}"

- name: See what a run would do, changing nothing
  tessaro.switch.firmware_upgrade:
    user: admin
    password: "{{ vault_tessaro_password }}"
    switches: "{{ tessaro_switches }}"
    executable: /opt/tessaro/bin/tessaro-run
  check_mode: true
'''

RETURN = r'''
switches:
  description: One entry per switch, in the order of I(switches).
  returned: when tessaro-run ran
  type: list
  elements: dict
  contains:
    address:
      description: The switch's address.
      type: str
      sample: 192.0.2.10
    outcome:
      description:
        - How the switch's run ended, as C(tessaro-run) reports it.
        - C(done) (upgraded to the final version), C(already-final) (it ran it before; nothing was changed),
          C(unconfirmed) (it reported the last step of its upgrade but was not seen on the final version),
          C(failed), C(interrupted).
        - In check mode C(planned) for each switch whose inventory was read; I(plan_path) tells whether a run
          would upgrade it.
        - C(null) when C(tessaro-run) ended before it reported on this switch.
      type: str
      sample: done
    changed:
      description: Whether the run changed anything on the switch; in check mode, whether a run would.
      type: bool
      sample: true
    exit_status:
      description: The exit status C(tessaro-run) gives this switch's outcome (0 on the final version).
      type: int
      sample: 0
    step:
      description: The step the run ended in, when it did not end on the final version.
      type: str
      sample: null
    reason:
      description: Why the run ended as it did, or what to do.
      type: str
      sample: ""
    version_before:
      description: The version the switch ran before the run.
      type: str
      sample: 3.0.0.43
    version_after:
      description: The version the switch runs after the run.
      type: str
      sample: 3.0.0.46
    final_version:
      description: The final version for this switch's model, once its inventory was read.
      type: str
      sample: 3.0.0.46
    duration_ms:
      description: How long the switch's run took, in milliseconds.
      type: int
      sample: 281345
    backup_path:
      description: Where the configuration saved before the run is, on the targeted host.
      type: str
      sample: /srv/tessaro/backups/sw-core-1.cfg
    backup_size:
      description: The saved configuration's size in bytes.
      type: int
      sample: 4711
    backup_sha256:
      description: The SHA-256 of the saved configuration, in hexadecimal.
      type: str
      sample: 9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08
    report_path:
      description: The run's report for people (HTML), beside the backup.
      type: str
      sample: /srv/tessaro/backups/Quillo_192.0.2.10.report.html
    record_path:
      description: The run's record (JSON), beside the backup.
      type: str
      sample: /srv/tessaro/backups/Quillo_192.0.2.10.result.json
    log_path:
      description: The run's log, beside the backup.
      type: str
      sample: /srv/tessaro/backups/Quillo_192.0.2.10.log
    plan_path:
      description:
        - In check mode, the path a run would take. C(full) (from 743 through the intermediate image),
          C(short) (the switch already runs the intermediate image), C(none) (it runs the final version).
        - C(null) outside check mode.
      type: str
      sample: full
    plan_estimated_ms:
      description: In check mode, how long a run of this switch would take, in milliseconds.
      type: int
      sample: 270000
exit_status:
  description: The exit status of C(tessaro-run); 0 only when every switch runs the final version.
  returned: when tessaro-run ran
  type: int
  sample: 0
'''

import csv
import ipaddress
import json
import os
import shutil
import signal
import tempfile

from ansible.module_utils.basic import AnsibleModule

FINAL_OUTCOMES = ('done', 'already-final')
PLAN_OUTCOMES = ('planned',)
INVENTORY_HEADER = ('address', 'user', 'password_file', 'backup', 'after_reset')
# Signals that end the module while tessaro-run works: handed on, so that tessaro-run stops at its
# next wait, says in what state each switch is left and saves its logs, and the module's own
# clean-up still runs.
FORWARDED_SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)


def is_ipv4_address(text):
    try:
        ipaddress.IPv4Address(text)
    except ValueError:
        return False
    return True


def check_backup(path):
    """The problem with a switch's backup path, or None."""
    if '\n' in path or '\r' in path:
        return 'backup %r holds a line break, which an inventory line cannot' % path
    if not os.path.isabs(path):
        return 'backup %s is not an absolute path; give the full path of a file on the host' % path
    if os.path.isdir(path):
        return 'backup %s is a folder; give the path of a file in it' % path
    folder = os.path.dirname(path)
    if not os.path.isdir(folder):
        return 'the folder %s of backup %s does not exist on the host; create it first' % (folder, path)
    if not os.access(folder, os.W_OK):
        return 'the folder %s of backup %s is not writable by the user the task runs as' % (folder, path)
    return None


def switch_rows(params):
    """The rows of tessaro-run's inventory, and every problem with the switches given."""
    rows = []
    problems = []
    addresses = {}
    backups = {}
    for number, entry in enumerate(params['switches'], start=1):
        address = (entry.get('address') or '').strip()
        name = 'switch %s' % address if is_ipv4_address(address) else 'switch #%d' % number
        found = []
        if not is_ipv4_address(address):
            found.append("address '%s' is not an IPv4 address such as 192.0.2.10" % address)
        elif address in addresses:
            found.append('it is given twice (as switch #%d and #%d); list each switch once' % (addresses[address], number))
        else:
            addresses[address] = number

        backup = entry.get('backup') or ''
        problem = check_backup(backup) if backup else 'it has no backup path'
        if problem:
            found.append(problem)
        elif os.path.realpath(backup) in backups:
            found.append('backup %s is also the backup of switch #%d; give each switch a file of its own'
                         % (backup, backups[os.path.realpath(backup)]))
        else:
            backups[os.path.realpath(backup)] = number

        user = entry.get('user') or params['user']
        if not user:
            found.append("it has no user; set the switch's user or the module's user")
        elif '\n' in user or '\r' in user:
            found.append('its user holds a line break, which an inventory line cannot')
        password = entry.get('password')
        if password is None:
            password = params['password']
        if password is None:
            found.append("it has no password; set the switch's password or the module's password")
        elif '\n' in password or '\r' in password:
            found.append('its password holds a line break, which tessaro-run cannot read from a password file')

        problems.extend('%s: %s' % (name, text) for text in found)
        rows.append({'address': address, 'user': user, 'password': password, 'backup': backup,
                     'after_reset': entry.get('after_reset') or params['after_reset']})
    if not rows:
        problems.append('switches is empty; give at least one switch')
    return rows, problems


def private_file(path):
    # Created 0600 from the start: the password never sits in a file others could open.
    return os.fdopen(os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600), 'w', encoding='utf-8', newline='')


def write_inventory(folder, rows):
    """Writes tessaro-run's inventory and one password file per switch into folder; returns the
    inventory's path."""
    inventory = os.path.join(folder, 'inventory.csv')
    with private_file(inventory) as out:
        # tessaro-run wants the header as it is, and trims unquoted fields: every field of a row is
        # quoted, so that a name or a path reaches it as given.
        out.write(','.join(INVENTORY_HEADER) + '\n')
        writer = csv.writer(out, lineterminator='\n', quoting=csv.QUOTE_ALL)
        for number, row in enumerate(rows, start=1):
            password_file = os.path.join(folder, 'switch%d.password' % number)
            with private_file(password_file) as secret:
                secret.write(row['password'] + '\n')
            writer.writerow((row['address'], row['user'], password_file, row['backup'], row['after_reset']))
    return inventory


def run_program(module, argv):
    """Runs argv to its end; returns its exit status, standard output and standard error."""
    previous = {}

    def forward_signals(process):
        def forward(signum, frame):
            process.send_signal(signum)
        for signum in FORWARDED_SIGNALS:
            previous[signum] = signal.signal(signum, forward)

    try:
        return module.run_command(argv, before_communicate_callback=forward_signals, errors='surrogate_or_replace')
    finally:
        for signum, handler in previous.items():
            signal.signal(signum, handler)


def read_json_lines(text):
    """Each switch's result line by address, and the summary line (or None)."""
    results = {}
    summary = None
    for line in text.splitlines():
        try:
            item = json.loads(line)
        except ValueError:
            continue
        if not isinstance(item, dict):
            continue
        if item.get('type') == 'result':
            results[item.get('switch')] = item
        elif item.get('type') == 'summary':
            summary = item
    return results, summary


def switch_report(address, result, entry, check_mode):
    """One switch's return value from its summary entry, else its result line."""
    source = entry or result or {}
    backup = source.get('backup') or {}
    inventory = (result or {}).get('inventory') or {}
    plan = (result or {}).get('plan') or {}
    outcome = source.get('outcome')
    if check_mode:
        # A plan's path is none for a switch that already runs the final version.
        changed = outcome == 'planned' and plan.get('path') not in (None, 'none')
    elif entry is not None and 'changed' in entry:
        changed = bool(entry['changed'])
    else:
        # Without the summary's word, the result line tells what the run wrote to the switch.
        changed = outcome in ('done', 'unconfirmed') or any((result or {}).get(key) for key in ('backups', 'images', 'leftConfigured'))
    return {
        'address': address,
        'outcome': outcome,
        'changed': changed,
        'exit_status': source.get('exitStatus'),
        'step': source.get('step'),
        'reason': source.get('reason'),
        'version_before': source.get('versionBefore'),
        'version_after': source.get('versionAfter'),
        'final_version': inventory.get('finalVersion'),
        'duration_ms': (entry or {}).get('durationMs'),
        'backup_path': backup.get('path'),
        'backup_size': backup.get('size'),
        'backup_sha256': backup.get('sha256'),
        'report_path': source.get('reportPath'),
        'record_path': source.get('recordPath'),
        'log_path': source.get('logPath'),
        'plan_path': plan.get('path'),
        'plan_estimated_ms': plan.get('estimatedMs'),
    }


def one_line(text):
    """A text of several lines on one, each line kept apart as a sentence of its own."""
    joined = ''
    for line in (text or '').splitlines():
        line = ' '.join(line.split())
        if line:
            joined += ('' if not joined else ' ' if joined[-1] in '.!?:;' else '; ') + line
    return joined


def failure_text(report):
    if report['outcome'] is None:
        return '%s: tessaro-run ended before it reported on this switch' % report['address']
    text = '%s: %s' % (report['address'], report['outcome'])
    if report['step']:
        text += " at step '%s'" % one_line(report['step'])
    if report['reason']:
        text += ': %s' % one_line(report['reason'])
    where = report['report_path'] or report['log_path']
    if where:
        text += ' (see %s)' % where
    return text


def last_lines(text, count=10):
    return ' | '.join(line.strip() for line in text.strip().splitlines()[-count:])


def outcome_message(reports, exit_status, stderr, summarised, check_mode):
    """The task's message, and whether the task failed."""
    expected = PLAN_OUTCOMES if check_mode else FINAL_OUTCOMES
    failing = [report for report in reports if report['outcome'] not in expected]
    ended = 'tessaro-run ended with exit status %d: %s' % (exit_status, last_lines(stderr))
    if failing:
        message = '%d of %d switches %s: %s' % (
            len(failing), len(reports), 'could not be planned' if check_mode else 'did not end on the final version',
            '; '.join(failure_text(report) for report in failing))
        # Without a summary tessaro-run's own last words say why it stopped.
        return (message + '; ' + ended if not summarised else message), True
    if exit_status != 0:
        return ended, True
    if check_mode:
        upgraded = sum(1 for report in reports if report['changed'])
        return '%d switches would be upgraded, %d already run the final version' % (upgraded, len(reports) - upgraded), False
    done = sum(1 for report in reports if report['outcome'] == 'done')
    return '%d switches upgraded, %d already ran the final version' % (done, len(reports) - done), False


def find_executable(module, name):
    if os.sep in name:
        if not os.path.isabs(name):
            module.fail_json(msg='executable %s is a relative path; give the full path of tessaro-run on the host' % name)
        if not (os.path.isfile(name) and os.access(name, os.X_OK)):
            module.fail_json(msg='executable %s is not an executable file on the host' % name)
        return name
    path = module.get_bin_path(name)
    if not path:
        module.fail_json(msg='%s was not found on the PATH of the host (%s); install it or set executable to its full path'
                         % (name, os.environ.get('PATH', '')))
    return path


def main():
    module = AnsibleModule(
        argument_spec=dict(
            switches=dict(type='list', elements='dict', required=True, options=dict(
                address=dict(type='str', required=True),
                backup=dict(type='path', required=True),
                user=dict(type='str'),
                password=dict(type='str', no_log=True),
                after_reset=dict(type='str', choices=['default', 'dhcp']),
            )),
            user=dict(type='str'),
            password=dict(type='str', no_log=True),
            after_reset=dict(type='str', choices=['default', 'dhcp'], default='default'),
            parallel=dict(type='int'),
            executable=dict(type='path', default='tessaro-run'),
        ),
        supports_check_mode=True,
    )
    params = module.params
    rows, problems = switch_rows(params)
    if params['parallel'] is not None and params['parallel'] < 1:
        problems.append('parallel is %d; give at least 1' % params['parallel'])
    if problems:
        module.fail_json(msg='; '.join(problems))
    executable = find_executable(module, params['executable'])

    folder = tempfile.mkdtemp(prefix='tessaro-ansible-')
    try:
        argv = [executable, '--inventory', write_inventory(folder, rows), '--json']
        if params['parallel'] is not None:
            argv += ['--parallel', str(params['parallel'])]
        if module.check_mode:
            argv.append('--plan')
        # Each switch's password file is the only source of its password.
        os.environ.pop('TESSARO_PASSWORD', None)
        exit_status, out, err = run_program(module, argv)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
        if os.path.exists(folder):
            module.warn("The folder %s with the switches' passwords could not be removed; remove it by hand." % folder)

    results, summary = read_json_lines(out)
    entries = dict((entry.get('switch'), entry) for entry in (summary or {}).get('switches', []))
    reports = [switch_report(row['address'], results.get(row['address']), entries.get(row['address']), module.check_mode)
               for row in rows]
    message, failed = outcome_message(reports, exit_status, err, summary is not None, module.check_mode)
    outcome = dict(changed=any(report['changed'] for report in reports), switches=reports, exit_status=exit_status)
    if failed:
        module.fail_json(msg=message, **outcome)
    module.exit_json(msg=message, **outcome)


if __name__ == '__main__':
    main()
