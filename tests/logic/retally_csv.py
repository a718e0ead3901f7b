# Re-tallies a vote's exported CSV with Python's csv module and checks it
# against the exported summary: retally_csv.py VOTE.csv VOTE.json
# Prints "ok <rows>", or fails with the first difference.
import csv, io, json, sys
raw = open(sys.argv[1], 'rb').read()
assert raw.startswith(b'\xef\xbb\xbf'), 'no byte-order mark'
rows = list(csv.reader(io.StringIO(raw[3:].decode('utf-8'), newline='')))
assert rows[0] == ['time', 'kind', 'viewer', 'team', 'team_name', 'product_id', 'pieces',
                   'votes', 'team_total'], rows[0]
totals, voters = {}, {}
for row in rows[1:]:
    assert len(row) == 9, row
    time, kind, viewer, team, name, product, pieces, votes, total = row
    for cell in (viewer, name, product):
        assert not cell or cell[0] not in '=+-@\t\r', ('formula left in', row)
    if kind == 'clear_voters':
        voters = {}
    if not votes:
        continue
    index, votes = int(team), int(votes)
    totals[index] = totals.get(index, 0) + votes
    assert totals[index] == int(total), ('running total', row, totals[index])
    if viewer:
        key = (index, viewer[1:] if viewer.startswith("'") else viewer)
        voters[key] = voters.get(key, 0) + votes
summary = json.load(open(sys.argv[2], encoding='utf-8'))
listed = set()
for team in summary['teams']:
    index = team['index']
    listed.add(index)
    assert totals.get(index, 0) == team['total'], ('total', index, totals.get(index), team['total'])
    got = {v['viewer']: v['votes'] for v in team['voters']}
    assert got == {n: c for (t, n), c in voters.items() if t == index}, ('voters', index)
    tallies = [v['votes'] for v in team['voters']]
    assert tallies == sorted(tallies, reverse=True), ('order', index)
assert all(total == 0 for index, total in totals.items() if index not in listed)
print('ok', len(rows) - 1)
