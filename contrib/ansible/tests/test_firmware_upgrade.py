#!/usr/bin/python3
"""tessaro.switch.firmware_upgrade on its own, run as Ansible runs a module (its arguments in a
file, its answer as JSON on standard output), against fake_tessaro_run: which switches it
refuses and why, how the credentials reach tessaro-run and that nothing of them stays behind,
and how tessaro-run's lines become the task's result. Whole upgrades with the real program
are run_example's."""

import json
import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
MODULE = os.path.join(HERE, '..', 'ansible_collections', 'tessaro', 'switch', 'plugins', 'modules', 'firmware_upgrade.py')
FAKE = os.path.join(HERE, 'fake_tessaro_run')
# Wall-clock guard against a hung module; never a measure of speed.
HANG_GUARD_S = 60
SECRET = 'Zq7-secret pw!'
LAB_SECRET = 'lab,"pass" 2'


def result_line(address, outcome, version_after='3.0.0.46', backup=True, plan_path=None):
    """A switch's result line as tessaro-run --json prints it; with a plan_path, as --plan does."""
    folder = '/srv/backups'
    if plan_path:
        return {
            'type': 'result', 'time': '2024-05-02T10:00:00.000Z', 'switch': address, 'outcome': 'planned', 'exitStatus': 0,
            'step': None, 'reason': 'A plan only.', 'error': None, 'logPath': '%s/Quillo_%s.log' % (folder, address),
            'inventory': {'switch': address, 'version': '3.0.0.43', 'finalVersion': '3.0.0.46'},
            'plan': {'path': plan_path, 'images': [], 'resets': 2, 'waits': [], 'steps': [], 'estimatedMs': 270000},
            'backups': [], 'images': [], 'recordPath': None, 'reportPath': None, 'backup': None,
            'versionBefore': '3.0.0.43', 'versionAfter': '3.0.0.43',
        }
    return {
        'type': 'result', 'time': '2024-05-02T10:00:00.000Z', 'switch': address, 'outcome': outcome,
        'exitStatus': 0 if outcome in ('done', 'already-final') else 4, 'step': None if outcome == 'done' else 'Resetting',
        'reason': '' if outcome == 'done' else 'The switch did not come back.\nCheck its power.',
        'error': None, 'logPath': '%s/Quillo_%s.log' % (folder, address),
        'inventory': {'switch': address, 'version': '3.0.0.43', 'finalVersion': '3.0.0.46'},
        'recordPath': '%s/Quillo_%s.result.json' % (folder, address),
        'reportPath': '%s/Quillo_%s.report.html' % (folder, address),
        'backup': {'path': '%s/%s.cfg' % (folder, address), 'size': 1234, 'sha256': 'ab' * 32} if backup else None,
        'versionBefore': '3.0.0.43', 'versionAfter': version_after,
    }


def summary_entry(line, changed):
    keys = ('switch', 'outcome', 'exitStatus', 'step', 'reason', 'versionBefore', 'versionAfter', 'backup',
            'recordPath', 'reportPath', 'logPath')
    entry = dict((key, line[key]) for key in keys)
    entry.update(durationMs=61000, changed=changed)
    return entry


def summary_line(entries, exit_status):
    return {'type': 'summary', 'time': '2024-05-02T10:05:00.000Z', 'exitStatus': exit_status,
            'summaryFile': '/tmp/Quillo/summary.json', 'switches': entries}


def setUpModule():
    # The module runs under this Python, as Ansible runs it under the host's: without Ansible's
    # module library every case would fail alike, so say it once.
    try:
        import ansible.module_utils.basic  # noqa: F401
    except ImportError:
        raise RuntimeError('%s cannot import ansible; scripts/setup test installs ansible-core for /usr/bin/python3'
                           % sys.executable)


class Ran(object):
    def __init__(self, answer, record):
        self.answer = answer
        self.record = record


class FirmwareUpgradeTest(unittest.TestCase):

    def setUp(self):
        self.temp = tempfile.TemporaryDirectory(prefix='tst_ansible_module-')
        self.addCleanup(self.temp.cleanup)
        self.backups = os.path.join(self.temp.name, 'site backups, 2024')
        self.tmpdir = os.path.join(self.temp.name, 'tmp')
        os.mkdir(self.backups)
        os.mkdir(self.tmpdir)
        self.record_path = os.path.join(self.temp.name, 'record.json')
        self.scenario_path = os.path.join(self.temp.name, 'scenario.json')

    def backup(self, name):
        return os.path.join(self.backups, name)

    def arguments(self, **overrides):
        arguments = {
            'user': 'admin', 'password': SECRET, 'executable': FAKE,
            'switches': [
                {'address': '192.0.2.10', 'backup': self.backup('a.cfg')},
                {'address': '192.0.2.11', 'backup': self.backup('b.cfg'), 'after_reset': 'dhcp'},
                {'address': '192.0.2.12', 'backup': self.backup('c.cfg'), 'user': ' lab, "ops"', 'password': LAB_SECRET},
            ],
        }
        arguments.update(overrides)
        return arguments

    def start(self, arguments, scenario, check_mode=False):
        with open(self.scenario_path, 'w', encoding='utf-8') as out:
            json.dump(scenario, out)
        arguments = dict(arguments, _ansible_check_mode=check_mode)
        args_path = os.path.join(self.temp.name, 'args.json')
        with open(args_path, 'w', encoding='utf-8') as out:
            json.dump({'ANSIBLE_MODULE_ARGS': arguments}, out)
        env = dict(os.environ, TMPDIR=self.tmpdir, FAKE_TESSARO_RECORD=self.record_path,
                   FAKE_TESSARO_SCENARIO=self.scenario_path, TESSARO_PASSWORD='from-the-environment')
        return subprocess.Popen([sys.executable, MODULE, args_path], stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)

    def finish(self, process):
        out, err = process.communicate(timeout=HANG_GUARD_S)
        try:
            answer = json.loads(out)
        except ValueError:
            self.fail('the module did not answer in JSON: %r %r' % (out, err))
        record = None
        if os.path.exists(self.record_path):
            with open(self.record_path, encoding='utf-8') as record_file:
                record = json.load(record_file)
        # Whatever happened, no folder of the module's is left in the temporary folder.
        self.assertEqual(os.listdir(self.tmpdir), [])
        return Ran(answer, record)

    def run_module(self, arguments, scenario=None, check_mode=False):
        return self.finish(self.start(arguments, scenario or {}, check_mode))

    def test_refuses_bad_switches(self):
        bad_backup_folder = os.path.join(self.temp.name, 'missing', 'a.cfg')
        cases = [
            ('not an address', {'switches': [{'address': 'sw-1', 'backup': self.backup('a.cfg')}]},
             ["switch #1: address 'sw-1' is not an IPv4 address such as 192.0.2.10"]),
            ('out of range', {'switches': [{'address': '192.0.2.300', 'backup': self.backup('a.cfg')}]},
             ["address '192.0.2.300' is not an IPv4 address"]),
            ('IPv6', {'switches': [{'address': '2001:db8::1', 'backup': self.backup('a.cfg')}]},
             ["address '2001:db8::1' is not an IPv4 address"]),
            ('one switch twice', {'switches': [
                {'address': '192.0.2.10', 'backup': self.backup('a.cfg')},
                {'address': '192.0.2.11', 'backup': self.backup('b.cfg')},
                {'address': ' 192.0.2.10', 'backup': self.backup('c.cfg')}]},
             ['switch 192.0.2.10: it is given twice (as switch #1 and #3); list each switch once']),
            ('one backup twice', {'switches': [
                {'address': '192.0.2.10', 'backup': self.backup('a.cfg')},
                {'address': '192.0.2.11', 'backup': self.backup('a.cfg')}]},
             ['switch 192.0.2.11: backup %s is also the backup of switch #1' % self.backup('a.cfg')]),
            ('relative backup', {'switches': [{'address': '192.0.2.10', 'backup': 'a.cfg'}]},
             ['switch 192.0.2.10: backup a.cfg is not an absolute path']),
            ('backup is a folder', {'switches': [{'address': '192.0.2.10', 'backup': self.backups}]},
             ['backup %s is a folder' % self.backups]),
            ('backup folder missing', {'switches': [{'address': '192.0.2.10', 'backup': bad_backup_folder}]},
             ['the folder %s of backup %s does not exist' % (os.path.dirname(bad_backup_folder), bad_backup_folder)]),
            ('no user', {'user': None}, ["switch 192.0.2.10: it has no user", "switch 192.0.2.11: it has no user"]),
            ('no password', {'password': None}, ["switch 192.0.2.10: it has no password"]),
            ('password with a line break', {'password': 'first\nsecond'},
             ['switch 192.0.2.10: its password holds a line break', 'switch 192.0.2.11: its password holds a line break']),
            ('every problem at once', {'user': None, 'switches': [
                {'address': 'sw-1', 'backup': 'a.cfg'}, {'address': '192.0.2.11', 'backup': self.backup('b.cfg')}]},
             ["switch #1: address 'sw-1'", 'switch #1: backup a.cfg is not an absolute path', 'switch #1: it has no user',
              'switch 192.0.2.11: it has no user']),
            ('no switches', {'switches': []}, ['switches is empty']),
            ('parallel 0', {'parallel': 0}, ['parallel is 0; give at least 1']),
            ('after_reset unknown', {'after_reset': 'static'}, ['after_reset', 'default, dhcp']),
            ('tessaro-run not on the PATH', {'executable': 'tessaro-run-nowhere'},
             ['tessaro-run-nowhere was not found on the PATH of the host']),
            ('relative executable', {'executable': 'bin/tessaro-run'}, ['executable bin/tessaro-run is a relative path']),
            ('executable not a program', {'executable': self.backups}, ['executable %s is not an executable file' % self.backups]),
        ]
        for name, overrides, expected in cases:
            with self.subTest(name):
                ran = self.run_module(self.arguments(**overrides))
                self.assertTrue(ran.answer.get('failed'), ran.answer)
                for text in expected:
                    self.assertIn(text, ran.answer['msg'])
                self.assertIsNone(ran.record, 'tessaro-run was started')
                self.assertNotIn(SECRET, json.dumps(ran.answer))

    def test_hands_credentials_through_private_files(self):
        lines = [result_line(address, 'done') for address in ('192.0.2.10', '192.0.2.11', '192.0.2.12')]
        for check_mode, parallel, expected_tail in ((False, None, []), (False, 2, ['--parallel', '2']), (True, None, ['--plan'])):
            with self.subTest(check_mode=check_mode, parallel=parallel):
                arguments = self.arguments() if parallel is None else self.arguments(parallel=parallel)
                self.run_module(arguments, {'lines': lines}, check_mode)
                with open(self.record_path, encoding='utf-8') as record_file:
                    record = json.load(record_file)
                os.remove(self.record_path)
                inventory = os.path.join(record['folder'], 'inventory.csv')
                self.assertEqual(record['argv'], ['--inventory', inventory, '--json'] + expected_tail)
                self.assertEqual(os.path.dirname(record['folder']), self.tmpdir)
                self.assertEqual(record['folder_mode'], 0o700)
                self.assertEqual(record['inventory_mode'], 0o600)
                self.assertEqual(record['header'], ['address', 'user', 'password_file', 'backup', 'after_reset'])
                self.assertEqual([(row['address'], row['user'], row['backup'], row['after_reset']) for row in record['rows']], [
                    ('192.0.2.10', 'admin', self.backup('a.cfg'), 'default'),
                    ('192.0.2.11', 'admin', self.backup('b.cfg'), 'dhcp'),
                    ('192.0.2.12', ' lab, "ops"', self.backup('c.cfg'), 'default')])
                # The header as tessaro-run wants it; each field quoted, as its unquoted fields lose their blanks.
                self.assertEqual(record['lines'][0], 'address,user,password_file,backup,after_reset')
                self.assertEqual(record['lines'][3], '"192.0.2.12"," lab, ""ops""","%s","%s","default"' % (
                    record['rows'][2]['password_file'], self.backup('c.cfg')))
                self.assertEqual(len(set(row['password_file'] for row in record['rows'])), 3)
                for row in record['rows']:
                    self.assertEqual(os.path.dirname(row['password_file']), record['folder'])
                self.assertEqual(record['passwords'], [{'text': SECRET + '\n', 'mode': 0o600}, {'text': SECRET + '\n', 'mode': 0o600},
                                                       {'text': LAB_SECRET + '\n', 'mode': 0o600}])
                spelt = ' '.join(record['argv']) + ' '.join('%s=%s' % item for item in record['environment'].items())
                self.assertNotIn(SECRET, spelt)
                self.assertNotIn(LAB_SECRET, spelt)
                self.assertNotIn('TESSARO_PASSWORD', record['environment'])

    def test_reports_each_switch(self):
        done, final, failed = (result_line('192.0.2.10', 'done'), result_line('192.0.2.11', 'already-final', backup=False),
                               result_line('192.0.2.12', 'failed', version_after='3.0.0.43'))
        ran = self.run_module(self.arguments(), {'lines': [done, final, failed, summary_line(
            [summary_entry(done, True), summary_entry(final, False), summary_entry(failed, True)], 4)], 'exit': 4})
        answer = ran.answer
        self.assertTrue(answer['failed'])
        self.assertTrue(answer['changed'])
        self.assertEqual(answer['exit_status'], 4)
        self.assertEqual(answer['msg'], "1 of 3 switches did not end on the final version: 192.0.2.12: failed at step 'Resetting': "
                         "The switch did not come back. Check its power. (see /srv/backups/Quillo_192.0.2.12.report.html)")
        self.assertEqual(answer['switches'][0], {
            'address': '192.0.2.10', 'outcome': 'done', 'changed': True, 'exit_status': 0, 'step': None, 'reason': '',
            'version_before': '3.0.0.43', 'version_after': '3.0.0.46', 'final_version': '3.0.0.46', 'duration_ms': 61000,
            'backup_path': '/srv/backups/192.0.2.10.cfg', 'backup_size': 1234, 'backup_sha256': 'ab' * 32,
            'report_path': '/srv/backups/Quillo_192.0.2.10.report.html',
            'record_path': '/srv/backups/Quillo_192.0.2.10.result.json', 'log_path': '/srv/backups/Quillo_192.0.2.10.log',
            'plan_path': None, 'plan_estimated_ms': None})
        self.assertEqual([(s['address'], s['outcome'], s['changed'], s['backup_path']) for s in answer['switches'][1:]], [
            ('192.0.2.11', 'already-final', False, None), ('192.0.2.12', 'failed', True, '/srv/backups/192.0.2.12.cfg')])

    def test_tells_changes_from_result_lines_without_a_summary(self):
        # tessaro-run killed before its summary: what each result line says was written decides.
        wrote_backup = dict(result_line('192.0.2.11', 'interrupted'), backups=[{'path': '/srv/backups/b.cfg'}], images=[])
        wrote_nothing = dict(result_line('192.0.2.12', 'failed'), backups=[], images=[], leftConfigured=[])
        answer = self.run_module(self.arguments(), {'lines': [result_line('192.0.2.10', 'done'), wrote_backup, wrote_nothing],
                                                    'exit': -9}).answer
        self.assertEqual([(s['outcome'], s['changed']) for s in answer['switches']],
                         [('done', True), ('interrupted', True), ('failed', False)])
        self.assertTrue(answer['failed'])

    def test_tells_the_tasks_outcome(self):
        addresses = ('192.0.2.10', '192.0.2.11', '192.0.2.12')

        def summarised(outcomes, changed, exit_status):
            lines = [result_line(address, outcome) for address, outcome in zip(addresses, outcomes)]
            return {'lines': lines + [summary_line([summary_entry(line, changed) for line in lines], exit_status)], 'exit': exit_status}

        def planned(paths, exit_status=0):
            lines = [result_line(address, 'failed') if path == 'failed' else result_line(address, 'planned', plan_path=path)
                     for address, path in zip(addresses, paths)]
            return {'lines': lines + [summary_line([summary_entry(line, False) for line in lines], exit_status)], 'exit': exit_status}

        cases = [
            ('all upgraded', False, summarised(['done'] * 3, True, 0),
             False, True, '3 switches upgraded, 0 already ran the final version'),
            ('all final before', False, summarised(['already-final'] * 3, False, 0),
             False, False, '0 switches upgraded, 3 already ran the final version'),
            ('unconfirmed', False, summarised(['done', 'unconfirmed', 'done'], True, 5),
             True, True, "1 of 3 switches did not end on the final version: 192.0.2.11: unconfirmed at step 'Resetting'"),
            ('final but a bad exit status', False, summarised(['done'] * 3, True, 1) | {'stderr': 'one\ntwo\n'},
             True, True, 'tessaro-run ended with exit status 1: one | two'),
            ('usage error before any switch', False, {'stderr': 'Usage: tessaro-run ...\n--inventory: no such file\n', 'exit': 2},
             True, False, "3 of 3 switches did not end on the final version: 192.0.2.10: tessaro-run ended before it reported "
             "on this switch; 192.0.2.11: tessaro-run ended before it reported on this switch; 192.0.2.12: tessaro-run ended "
             "before it reported on this switch; tessaro-run ended with exit status 2: Usage: tessaro-run ... | --inventory: no such file"),
            ('ended without its summary', False,
             {'lines': [result_line('192.0.2.10', 'done'), 'not json', result_line('192.0.2.11', 'interrupted')], 'exit': 130},
             True, True, "2 of 3 switches did not end on the final version: 192.0.2.11: interrupted at step 'Resetting'"),
            ('plan', True, planned(['full', 'none', 'short']),
             False, True, '2 switches would be upgraded, 1 already run the final version'),
            ('plan of final switches', True, planned(['none'] * 3),
             False, False, '0 switches would be upgraded, 3 already run the final version'),
            ('plan that failed to log in', True, planned(['full', 'failed', 'none'], 3),
             True, True, '1 of 3 switches could not be planned: 192.0.2.11: failed'),
        ]
        for name, check_mode, scenario, failed, changed, message in cases:
            with self.subTest(name):
                answer = self.run_module(self.arguments(), scenario, check_mode).answer
                self.assertEqual(bool(answer.get('failed')), failed, answer)
                self.assertEqual(answer['changed'], changed)
                self.assertIn(message, answer['msg'])
                self.assertEqual([s['address'] for s in answer['switches']], list(addresses))

    def test_a_stopped_module_stops_tessaro_run_and_cleans_up(self):
        lines = [result_line('192.0.2.10', 'interrupted')]
        for signum in (signal.SIGTERM, signal.SIGINT):
            with self.subTest(signal=signum.name):
                process = self.start(self.arguments(), {'lines': lines, 'hold': True, 'exit': 130})
                deadline = time.monotonic() + HANG_GUARD_S
                while not os.path.exists(self.record_path):
                    self.assertLess(time.monotonic(), deadline, 'tessaro-run was not started')
                    time.sleep(0.05)
                process.send_signal(signum)
                ran = self.finish(process)
                os.remove(self.record_path)
                self.assertEqual(ran.record['signals'], [signum.name])
                self.assertTrue(ran.answer['failed'])
                self.assertIn('192.0.2.10: interrupted', ran.answer['msg'])
                self.assertIn('tessaro-run ended with exit status 130', ran.answer['msg'])


if __name__ == '__main__':
    unittest.main(verbosity=2)
