{ Drives Free Pascal's TDbf, an independent dBase library, as a second reader and writer of
  NDX and MDX files for the index tests.
    tdbf_index read TABLE INDEX [TAG]  prints the physical record number of every record in the
                                       order of the index (an NDX file, or a tag of the
                                       table's production MDX)
    tdbf_index write TABLE INDEX EXPR  creates an index on EXPR: an NDX file when INDEX ends
                                       in .ndx, else a tag of the production MDX }
program tdbf_index;

{$mode objfpc}{$H+}

uses
  SysUtils, db, dbf;

var
  Table: TDbf;
  Mode: string;
  IndexName: string;
begin
  if ParamCount < 3 then
  begin
    WriteLn(StdErr, 'usage: tdbf_index read|write TABLE INDEX [TAG|EXPR]');
    Halt(2);
  end;
  Mode := ParamStr(1);
  Table := TDbf.Create(nil);
  try
    Table.FilePathFull := ExtractFilePath(ExpandFileName(ParamStr(2)));
    Table.TableName := ExtractFileName(ParamStr(2));
    IndexName := ParamStr(3);
    if Mode = 'write' then
    begin
      Table.Exclusive := True;
      Table.Open;
      Table.AddIndex(IndexName, ParamStr(4), []);
    end
    else
    begin
      Table.ReadOnly := True;
      Table.Open;
      if LowerCase(ExtractFileExt(IndexName)) = '.ndx' then
      begin
        Table.OpenIndexFile(IndexName);
        Table.IndexName := IndexName;
      end
      else
        Table.IndexName := ParamStr(4);
      Table.First;
      while not Table.EOF do
      begin
        WriteLn(Table.PhysicalRecNo);
        Table.Next;
      end;
    end;
    Table.Close;
  finally
    Table.Free;
  end;
end.
