{ Records the order of dataset and data-source events for a fixed script of
  operations over an in-memory buffered dataset. Its output is the reference
  that the C++ dataset is tested against:
    fpc -v0 event_order.pas && ./event_order /tmp/eo.dat > event_order.txt
  The argument names a scratch file that keeps the records across a close and
  reopen; it must not exist beforehand. }
program event_order;
{$mode objfpc}{$H+}
uses SysUtils, DB, BufDataset;

type
  TLog = class
    FailPost: Boolean;
    procedure Ev(DataSet: TDataSet; const Name: string);
    procedure BeforeOpen(DataSet: TDataSet);
    procedure AfterOpen(DataSet: TDataSet);
    procedure BeforeClose(DataSet: TDataSet);
    procedure AfterClose(DataSet: TDataSet);
    procedure BeforeInsert(DataSet: TDataSet);
    procedure AfterInsert(DataSet: TDataSet);
    procedure BeforeEdit(DataSet: TDataSet);
    procedure AfterEdit(DataSet: TDataSet);
    procedure BeforePost(DataSet: TDataSet);
    procedure AfterPost(DataSet: TDataSet);
    procedure BeforeCancel(DataSet: TDataSet);
    procedure AfterCancel(DataSet: TDataSet);
    procedure BeforeDelete(DataSet: TDataSet);
    procedure AfterDelete(DataSet: TDataSet);
    procedure BeforeScroll(DataSet: TDataSet);
    procedure AfterScroll(DataSet: TDataSet);
    procedure BeforeRefresh(DataSet: TDataSet);
    procedure AfterRefresh(DataSet: TDataSet);
    procedure NewRecord(DataSet: TDataSet);
    procedure PostError(DataSet: TDataSet; E: EDatabaseError; var Action: TDataAction);
    procedure StateChange(Sender: TObject);
    procedure DataChange(Sender: TObject; Field: TField);
  end;

var
  d: TBufDataset;
  ds: TDataSource;
  log: TLog;

function StateName(S: TDataSetState): string;
begin
  case S of
    dsInactive: Result := 'dsInactive';
    dsBrowse: Result := 'dsBrowse';
    dsEdit: Result := 'dsEdit';
    dsInsert: Result := 'dsInsert';
    dsSetKey: Result := 'dsSetKey';
    dsCalcFields: Result := 'dsCalcFields';
  else
    Result := 'other';
  end;
end;

procedure TLog.Ev(DataSet: TDataSet; const Name: string);
begin
  writeln(Name, ' ', StateName(DataSet.State));
end;

procedure TLog.BeforeOpen(DataSet: TDataSet); begin Ev(DataSet, 'BeforeOpen'); end;
procedure TLog.AfterOpen(DataSet: TDataSet); begin Ev(DataSet, 'AfterOpen'); end;
procedure TLog.BeforeClose(DataSet: TDataSet); begin Ev(DataSet, 'BeforeClose'); end;
procedure TLog.AfterClose(DataSet: TDataSet); begin Ev(DataSet, 'AfterClose'); end;
procedure TLog.BeforeInsert(DataSet: TDataSet); begin Ev(DataSet, 'BeforeInsert'); end;
procedure TLog.AfterInsert(DataSet: TDataSet); begin Ev(DataSet, 'AfterInsert'); end;
procedure TLog.BeforeEdit(DataSet: TDataSet); begin Ev(DataSet, 'BeforeEdit'); end;
procedure TLog.AfterEdit(DataSet: TDataSet); begin Ev(DataSet, 'AfterEdit'); end;
procedure TLog.BeforePost(DataSet: TDataSet);
begin
  Ev(DataSet, 'BeforePost');
  if FailPost then
    raise Exception.Create('refused');
end;
procedure TLog.AfterPost(DataSet: TDataSet); begin Ev(DataSet, 'AfterPost'); end;
procedure TLog.BeforeCancel(DataSet: TDataSet); begin Ev(DataSet, 'BeforeCancel'); end;
procedure TLog.AfterCancel(DataSet: TDataSet); begin Ev(DataSet, 'AfterCancel'); end;
procedure TLog.BeforeDelete(DataSet: TDataSet); begin Ev(DataSet, 'BeforeDelete'); end;
procedure TLog.AfterDelete(DataSet: TDataSet); begin Ev(DataSet, 'AfterDelete'); end;
procedure TLog.BeforeScroll(DataSet: TDataSet); begin Ev(DataSet, 'BeforeScroll'); end;
procedure TLog.AfterScroll(DataSet: TDataSet); begin Ev(DataSet, 'AfterScroll'); end;
procedure TLog.BeforeRefresh(DataSet: TDataSet); begin Ev(DataSet, 'BeforeRefresh'); end;
procedure TLog.AfterRefresh(DataSet: TDataSet); begin Ev(DataSet, 'AfterRefresh'); end;
procedure TLog.NewRecord(DataSet: TDataSet); begin Ev(DataSet, 'OnNewRecord'); end;
procedure TLog.PostError(DataSet: TDataSet; E: EDatabaseError; var Action: TDataAction);
begin
  Ev(DataSet, 'OnPostError');
  Action := daFail;
end;
procedure TLog.StateChange(Sender: TObject);
begin
  writeln('StateChange ', StateName(d.State));
end;
procedure TLog.DataChange(Sender: TObject; Field: TField);
begin
  if Field = nil then
    writeln('DataChange nil ', StateName(d.State))
  else
    writeln('DataChange ', Field.FieldName, ' ', StateName(d.State));
end;

procedure Step(const S: string);
begin
  writeln('-- ', S);
end;

procedure Show;
begin
  if d.Active and d.IsEmpty and (d.State = dsBrowse) then
    writeln('at empty count=', d.RecordCount, ' bof=', d.BOF, ' eof=', d.EOF)
  else if d.Active then
    writeln('at recno=', d.RecNo, ' count=', d.RecordCount, ' bof=', d.BOF,
      ' eof=', d.EOF, ' id=', d.FieldByName('ID').AsString,
      ' name=', d.FieldByName('Name').AsString, ' state=', StateName(d.State))
  else
    writeln('at closed state=', StateName(d.State));
end;

procedure Add(Id: Integer; const Name: string);
begin
  d.Append;
  d.FieldByName('ID').AsInteger := Id;
  d.FieldByName('Name').AsString := Name;
  d.Post;
end;

procedure TryPost;
begin
  try
    d.Post;
    writeln('post ok');
  except
    on E: Exception do
      writeln('post failed: ', E.ClassName);
  end;
end;

begin
  log := TLog.Create;
  d := TBufDataset.Create(nil);
  d.FieldDefs.Add('ID', ftInteger);
  d.FieldDefs.Add('Name', ftString, 20);
  d.FieldDefs.Add('Note', ftString, 20);
  d.FileName := ParamStr(1);
  d.CreateDataset;
  d.Close;

  ds := TDataSource.Create(nil);
  ds.DataSet := d;
  ds.OnStateChange := @log.StateChange;
  ds.OnDataChange := @log.DataChange;

  d.BeforeOpen := @log.BeforeOpen;
  d.AfterOpen := @log.AfterOpen;
  d.BeforeClose := @log.BeforeClose;
  d.AfterClose := @log.AfterClose;
  d.BeforeInsert := @log.BeforeInsert;
  d.AfterInsert := @log.AfterInsert;
  d.BeforeEdit := @log.BeforeEdit;
  d.AfterEdit := @log.AfterEdit;
  d.BeforePost := @log.BeforePost;
  d.AfterPost := @log.AfterPost;
  d.BeforeCancel := @log.BeforeCancel;
  d.AfterCancel := @log.AfterCancel;
  d.BeforeDelete := @log.BeforeDelete;
  d.AfterDelete := @log.AfterDelete;
  d.BeforeScroll := @log.BeforeScroll;
  d.AfterScroll := @log.AfterScroll;
  d.BeforeRefresh := @log.BeforeRefresh;
  d.AfterRefresh := @log.AfterRefresh;
  d.OnNewRecord := @log.NewRecord;
  d.OnPostError := @log.PostError;

  Step('open');
  d.Open;
  Show;

  Step('append Ana');
  Add(1, 'Ana');
  Show;
  Step('append Bruno');
  Add(2, 'Bruno');
  Step('append Carla');
  Add(3, 'Carla');
  Show;

  Step('first');
  d.First;
  Show;
  Step('next');
  d.Next;
  Show;
  Step('last');
  d.Last;
  Show;
  Step('next at end');
  d.Next;
  Show;
  Step('prior');
  d.Prior;
  Show;
  Step('moveby -1');
  d.MoveBy(-1);
  Show;
  Step('prior at start');
  d.Prior;
  Show;

  Step('edit and cancel');
  d.Edit;
  d.FieldByName('Name').AsString := 'Alice';
  Show;
  d.Cancel;
  Show;

  Step('edit and post');
  d.Next;
  d.Edit;
  d.FieldByName('Note').AsString := 'vip';
  d.Post;
  Show;

  Step('edit with refused post');
  d.Edit;
  d.FieldByName('Name').AsString := 'Beto';
  log.FailPost := True;
  TryPost;
  Show;
  Step('post again');
  log.FailPost := False;
  TryPost;
  Show;

  Step('insert with refused post');
  d.Insert;
  d.FieldByName('ID').AsInteger := 9;
  d.FieldByName('Name').AsString := 'Zeca';
  log.FailPost := True;
  TryPost;
  Show;
  log.FailPost := False;
  d.Cancel;
  Show;

  Step('insert in the middle');
  d.Insert;
  d.FieldByName('ID').AsInteger := 4;
  d.FieldByName('Name').AsString := 'Dora';
  d.Post;
  Show;

  Step('post in browse state');
  TryPost;

  Step('cancel in browse state');
  d.Cancel;
  Show;

  Step('edit twice');
  d.Edit;
  d.Edit;
  d.Cancel;

  Step('append while editing');
  d.Edit;
  d.FieldByName('Note').AsString := 'auto';
  d.Append;
  Show;
  d.Cancel;
  Show;
  d.First;
  d.Next;
  Show;

  Step('scroll while editing');
  d.Edit;
  d.FieldByName('Note').AsString := 'moved';
  d.Next;
  Show;

  Step('delete');
  d.Delete;
  Show;

  Step('delete last');
  d.Last;
  d.Delete;
  Show;

  Step('disabled controls');
  d.DisableControls;
  d.First;
  d.Next;
  d.Edit;
  d.FieldByName('Note').AsString := 'quiet';
  d.Post;
  d.EnableControls;
  Show;

  Step('locate');
  if d.Locate('Name', 'Ana', []) then
    writeln('found');
  Show;
  Step('locate missing');
  if not d.Locate('Name', 'Nobody', []) then
    writeln('not found');
  Show;

  Step('required field missing');
  d.FieldByName('ID').Required := True;
  d.Append;
  d.FieldByName('Name').AsString := 'Eva';
  TryPost;
  Show;
  d.Cancel;
  Show;

  Step('reopen with records');
  d.Close;
  d.Open;
  Show;

  Step('delete all');
  while not d.IsEmpty do
    d.Delete;
  Show;

  Step('close');
  d.Close;
  Show;

  ds.Free;
  d.Free;
  log.Free;
end.
